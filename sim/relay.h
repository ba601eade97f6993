// The download loader played by an outside receiver program (--loader-cmd).
#pragma once

#include <functional>
#include <string>

#include "sim/child.h"
#include "sim/line.h"
#include "sim/loader.h"
#include "sim/options.h"

namespace sim {

// Starts options.loader_cmd on a socket pair and relays bytes between it and
// the line, from just after the AT~D1 line until the receiver acknowledges
// EOT (Finished) or closes its end (Aborted), or the simulator stops or hangs
// up. The child is handed to `reaper`: it may still be writing its file.
LoaderEnd run_relay(
    Line& line, const Options& options, Reaper& reaper, const std::function<void(const std::string&)>& event);

} // namespace sim
