// Calls over D-Bus that keep the desktop answered while they wait for
// their reply, and never wait longer than kBusWaitLimitUs.
#pragma once

#include <cstdint>
#include <systemd/sd-bus.h>

namespace platform {

// The longest the program waits for any reply on a bus, an authorisation
// prompt included; a reply that does not come by then counts as a refusal.
constexpr uint64_t kBusWaitLimitUs = 25'000'000;

// Sends `call` on `bus` and waits up to `timeoutUs` (at most
// kBusWaitLimitUs) for its reply as a pause waits: in slices, with the
// desktop hook run between them. Returns >= 0 with `*reply` set (the
// caller unrefs it); < 0 (a negative errno, -ETIMEDOUT when no reply came)
// with `error` set and nothing pending on the bus.
int CallAnswering(sd_bus* bus, sd_bus_message* call, uint64_t timeoutUs, sd_bus_error* error, sd_bus_message** reply);

} // namespace platform
