#include "platform/ui/app_run.h"

#include <utility>

namespace ui {

FrontEndScope::FrontEndScope(FrontEnd& frontEnd, MessagePresenter presenter)
    : m_previousFrontEnd(SetFrontEnd(&frontEnd)), m_previousPresenter(SetMessagePresenter(std::move(presenter)))
{
}

FrontEndScope::~FrontEndScope()
{
    SetMessagePresenter(std::move(m_previousPresenter));
    SetFrontEnd(m_previousFrontEnd);
}

int RunApp(App& app, FrontEnd& frontEnd, MessagePresenter presenter, const std::function<void()>& prepare)
{
    FrontEndScope installed(frontEnd, std::move(presenter));
    if (prepare)
        prepare();
    // There is no message loop after the dialogs: InitInstance runs them
    // all and its answer only says the program is done.
    app.InitInstance();
    return 0;
}

} // namespace ui
