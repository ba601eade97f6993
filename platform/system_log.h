// The system's log, for the one line that says how a run ended: whoever
// lost the terminal finds it there (journalctl -t quilvex on Linux).
#pragma once

#include <string>

namespace platform {

// Writes `line` to the system log under the ident "quilvex", as an error
// when `failure`, else as a notice. Where the system has no such log, or
// refuses the line, nothing happens.
void LogOutcome(const std::string& line, bool failure);

} // namespace platform
