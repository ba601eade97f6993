// The program on Windows: the application object's dialogs as Win32 dialogs.
#include "app/QuilvexApp.h"
#include "platform/ui/win32/win32_app.h"

int main()
{
    return ui::RunWin32Application(theApp);
}
