// What every front end's view of a shown dialog does the same way: it
// stands for one dialog, runs the dialog's handlers one at a time, and
// turns push buttons and system-menu choices into handler calls. A front
// end adds the window, and how that window keeps input away meanwhile.
#pragma once

#include <functional>

#include "platform/ui/dialog.h"

namespace ui {

class DialogViewBase : public DialogView {
public:
    explicit DialogViewBase(Dialog& dlg) : m_dlg(dlg) { }
    // Detaches from the dialog if it is still attached.
    ~DialogViewBase() override;
    DialogViewBase(const DialogViewBase&) = delete;
    DialogViewBase& operator=(const DialogViewBase&) = delete;

    Dialog& Model() const { return m_dlg; }

    // Runs a handler unless one is already running or the dialog has ended;
    // the window holds input away while it runs, and lets it through again
    // however the handler ends (an exception goes on to the caller).
    // Returns whether it ran.
    bool RunHandler(const std::function<void()>& handler);
    bool HandlerRunning() const { return m_handlerDepth > 0; }
    // True while a handler runs or once the dialog has ended: the user's
    // actions then run nothing.
    bool Busy() const { return HandlerRunning() || m_dlg.IsEnded(); }
    // A push button's command as a handler: OnOK, OnCancel or OnCommand(id).
    // Returns whether it ran.
    bool Command(int controlId);
    // The system menu's command `commandId` as a handler, as if chosen from
    // the menu. Returns whether it ran.
    bool SystemCommand(unsigned commandId);

protected:
    // Keeps the user's input away from the window; called before a handler.
    virtual void HoldInput() = 0;
    // Lets input reach the window again; called after the handler.
    virtual void ReleaseInput() = 0;

    Dialog& m_dlg;

private:
    int m_handlerDepth = 0;
};

} // namespace ui
