// What the Windows port list reads from a device's registry keys.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace serial {

// An FTDI adapter's latency timer in milliseconds, as its driver keeps it
// among the device's parameters (`key`, open for reading): the DWORD value
// LatencyTimer. -1 when the key holds no such value.
int RegistryLatencyTimer(HKEY key);

} // namespace serial
