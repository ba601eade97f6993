// The serial ports the operating system knows of.
#pragma once

#include <vector>

#include "platform/serial/port_map.h"

namespace serial {

// Every serial port device of the system with what the system says about
// it (UART slots without hardware included, marked so). Empty when the
// system cannot be asked; nothing is left open.
std::vector<PortInfo> ListSerialPorts();

} // namespace serial
