// Keeps the system's modem manager service off the modem's device while
// this program talks to it, so that no command of the service's lands in
// the middle of ours.
#pragma once

#include <string>

namespace platform {

struct ModemGuard {
    enum class State {
        Untouched, // no modem manager, or it does not manage this device
        Guarded, // it agreed to leave the device alone
        Refused, // it said no (or did not answer); `reason` says why
    };
    State state = State::Untouched;
    std::string reason;
};

// Asks the modem manager, if one runs and manages the device at
// `devicePath`, to leave it alone until ReleaseModemGuard or the end of
// the process. Refused and Untouched hold nothing; a guard held before is
// released first.
ModemGuard GuardModem(const std::string& devicePath);

// Gives the device of the last successful GuardModem back to the modem
// manager. Nothing when no guard is held.
void ReleaseModemGuard();

} // namespace platform
