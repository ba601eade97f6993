// quilvex-cli's run: the application object's main dialog on the terminal
// front end, with a stand-in for the user who answers, names the image and
// presses Upgrade, and the outcome turned into an exit code.
#pragma once

#include "app/CliOptions.h"

// Runs the whole upgrade as `options` say (help, version and port listing
// are the caller's). Returns the exit code (CliExit). The port is closed
// and the outcome written out and to the system log when it returns.
int RunCli(const CliOptions& options);

// The port quilvex-cli searches for `port` (--port): the COM name the
// search finds it under and what that name opens. A COM1..COM9 name is
// searched under itself; any other COM name or device path under COM1.
struct PortChoice {
    std::string slot; // the searched name; empty: COM1 to COM9 as usual
    std::string target; // what `slot` opens
};
PortChoice ChoosePort(const std::string& port);
