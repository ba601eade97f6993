#include "platform/ui/win32/win32_message_box.h"

#include "platform/ui/win32/win32_system.h"

#include "platform/ui/win32/win32_front_end.h"
#include "platform/ui/win32/win32_text.h"

namespace ui::win32 {

MessagePresenter MakeMessagePresenter(const Win32FrontEnd& frontEnd)
{
    const Win32FrontEnd* fe = &frontEnd;
    return [fe](const std::string& text, MessageButtons buttons) -> int {
        const bool okCancel = buttons == MessageButtons::OkCancel;
        HWND owner = fe->ActiveWindow();
        UINT type = MB_ICONEXCLAMATION | (okCancel ? MB_OKCANCEL : MB_OK);
        if (!owner)
            type |= MB_TASKMODAL | MB_SETFOREGROUND;
        const int answer = MessageBoxW(owner, Widen(text).c_str(), Widen(ProgramName()).c_str(), type);
        return MessageAnswer(answer == IDOK, buttons);
    };
}

} // namespace ui::win32
