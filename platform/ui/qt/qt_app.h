// Runs the program on the desktop.
#pragma once

#include <functional>

#include "platform/ui/dialog.h"

namespace ui {

namespace qt {
class QtFrontEnd;
}

// Starts the toolkit, installs the Qt front end and message boxes, and runs
// `app`'s InitInstance, which shows the program's dialogs. `prepare`, if
// given, runs just before InitInstance with everything installed (a
// benchmark drives the windows from there). Returns the process exit code:
// 0 once InitInstance has returned; the previous front end is back however
// it ends.
int RunQtApplication(int argc, char** argv, App& app, const std::function<void(qt::QtFrontEnd&)>& prepare = {});

} // namespace ui
