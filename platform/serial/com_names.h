// What the names COM1 to COM9 stand for on this system, and the user's
// side of a port that would not open.
#pragma once

#include <string>
#include <vector>

#include "platform/serial/port_map.h"

namespace serial {

// The COM1..COM9 map in force now (user overrides and the system's ports).
// Slots with an empty path stand for nothing.
ComMap CurrentComMap();

// One line per COM name that stands for a port: the name, the device, what
// it is and whether this user may open it. Empty when there is none.
std::vector<std::string> DescribeComPorts();

// A sentence for the user about why `portName` could not be opened with
// error `code`, naming the port and what to do, when the cause is one the
// user can act on (no access, held by another program); otherwise empty.
std::string RefusalNote(const std::string& portName, int code);

// A paragraph for the user about serial ports present that the search of
// COM1 to COM9 does not reach (ports numbered COM10 and above), naming
// them and how to renumber one; empty when there are none. Opens each such
// port for a moment to see that it is there.
std::string PortsOutOfReachNote();

} // namespace serial
