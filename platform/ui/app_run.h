// Running the program's application object on a front end, whichever
// toolkit draws it.
#pragma once

#include <functional>

#include "platform/ui/dialog.h"
#include "platform/ui/message_box.h"

namespace ui {

// Installs a front end and its message boxes for as long as it lives.
class FrontEndScope {
public:
    // Installs `frontEnd` and `presenter`, keeping the ones they replace.
    FrontEndScope(FrontEnd& frontEnd, MessagePresenter presenter);
    // Puts the previous front end and presenter back, also when the scope
    // ends with an exception.
    ~FrontEndScope();
    FrontEndScope(const FrontEndScope&) = delete;
    FrontEndScope& operator=(const FrontEndScope&) = delete;

private:
    FrontEnd* m_previousFrontEnd;
    MessagePresenter m_previousPresenter;
};

// Runs `app`'s InitInstance, which shows the program's dialogs, with
// `frontEnd` and `presenter` installed; `prepare`, if given, runs just
// before it with both in place. Returns the process exit code, 0 once
// InitInstance has returned. Whatever way it ends, the previous front end
// and presenter are back.
int RunApp(App& app, FrontEnd& frontEnd, MessagePresenter presenter, const std::function<void()>& prepare = {});

} // namespace ui
