// Windows has no modem manager service that probes serial ports.
#include "platform/modem_guard.h"

namespace platform {

ModemGuard GuardModem(const std::string&)
{
    return {};
}

void ReleaseModemGuard()
{
}

} // namespace platform
