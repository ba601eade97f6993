#include "platform/ui/dialog_view_base.h"

namespace ui {

DialogViewBase::~DialogViewBase()
{
    if (m_dlg.View() == this)
        m_dlg.AttachView(nullptr);
}

bool DialogViewBase::RunHandler(const std::function<void()>& handler)
{
    if (Busy())
        return false;
    HoldInput();
    ++m_handlerDepth;
    try {
        handler();
    } catch (...) {
        --m_handlerDepth;
        ReleaseInput();
        throw;
    }
    --m_handlerDepth;
    ReleaseInput();
    return true;
}

bool DialogViewBase::Command(int controlId)
{
    return RunHandler([this, controlId] {
        if (controlId == IDOK)
            m_dlg.OnOK();
        else if (controlId == IDCANCEL)
            m_dlg.OnCancel();
        else
            m_dlg.OnCommand(controlId);
    });
}

bool DialogViewBase::SystemCommand(unsigned commandId)
{
    return RunHandler([this, commandId] { m_dlg.OnSysCommand(commandId); });
}

} // namespace ui
