// Runs the program on the Windows desktop.
#pragma once

#include "platform/ui/dialog.h"

namespace ui {

// Loads the common controls, installs the Win32 front end and message
// boxes, and runs `app`'s InitInstance, which shows the program's dialogs.
// Returns the process exit code: 0 once InitInstance has returned.
int RunWin32Application(App& app);

} // namespace ui
