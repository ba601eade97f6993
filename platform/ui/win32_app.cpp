#include "platform/ui/win32_app.h"

#include "platform/ui/win32_system.h"

#include "platform/ui/win32_front_end.h"
#include "platform/ui/win32_message_box.h"

namespace ui {

int RunWin32Application(App& app)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    win32::Win32FrontEnd frontEnd(GetModuleHandleW(nullptr));
    FrontEnd* previousFrontEnd = SetFrontEnd(&frontEnd);
    MessagePresenter previousPresenter = SetMessagePresenter(win32::MakeMessagePresenter(frontEnd));

    // There is no message loop after the dialogs: InitInstance runs them
    // all and its answer only says the program is done.
    app.InitInstance();

    SetMessagePresenter(std::move(previousPresenter));
    SetFrontEnd(previousFrontEnd);
    return 0;
}

} // namespace ui
