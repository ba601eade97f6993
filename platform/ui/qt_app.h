// Runs the program on the desktop.
#pragma once

#include "platform/ui/dialog.h"

namespace ui {

// Starts the toolkit, installs the Qt front end and message boxes, and runs
// `app`'s InitInstance, which shows the program's dialogs. Returns the
// process exit code: 0 once InitInstance has returned.
int RunQtApplication(int argc, char** argv, App& app);

} // namespace ui
