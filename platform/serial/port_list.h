// The serial ports the operating system knows of.
#pragma once

#include <string>
#include <vector>

#include "platform/serial/port_map.h"

namespace serial {

// Every serial port device of the system with what the system says about
// it (UART slots without hardware included, marked so). Empty when the
// system cannot be asked; nothing is left open.
std::vector<PortInfo> ListSerialPorts();

// The latency timer in milliseconds of the USB adapter behind the port
// `name` ("COM4", or a device path), where the system shows one; -1
// otherwise. Reads the system's records only.
int AdapterLatencyTimerMs(const std::string& name);

} // namespace serial
