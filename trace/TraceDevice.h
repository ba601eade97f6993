// A serial device that records what passes through it into the trace in
// force (trace::Current(), trace/TraceRecorder.h; none: nothing): the open
// and its result, every byte written and read, the modem-status lines when
// they change, the line settings, any call that fails, and each write
// stream with the path its writes took. Every call reaches the device it
// wraps, so the port behaves as it does untraced.
#pragma once

#include <memory>
#include <string>

#include "trace/TraceRecorder.h"
#include "platform/serial/serial_device.h"

namespace trace {

// Makes serial::Open open as before (through the opener in force, else the
// system's port) and wrap what it opens into a recording device; each open,
// failed or not, is recorded. Stays in force until serial::SetOpener is
// called again. Returns the opener it wraps, to be put back afterwards.
serial::Opener TracePortOpens();

// `inner` wrapped so that its traffic reaches the trace in force.
std::unique_ptr<serial::Device> Wrap(std::unique_ptr<serial::Device> inner);

} // namespace trace
