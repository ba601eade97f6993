#include "platform/ui/win32/win32_app.h"

#include "platform/ui/win32/win32_system.h"

#include "platform/ui/app_run.h"
#include "platform/ui/win32/win32_front_end.h"
#include "platform/ui/win32/win32_message_box.h"

namespace ui {

int RunWin32Application(App& app)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    win32::Win32FrontEnd frontEnd(GetModuleHandleW(nullptr));
    return RunApp(app, frontEnd, win32::MakeMessagePresenter(frontEnd));
}

} // namespace ui
