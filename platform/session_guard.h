// Holds the desktop session off the modem while its flash is rewritten:
// no logoff, restart, shutdown, sleep or idle action may cut a transfer
// short. Where the system offers no such hold, or refuses it, nothing is
// held and nothing is said: the upgrade goes on regardless.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

class SessionGuard {
public:
    // Takes every hold the system grants, telling the desktop `reason`
    // (shown where it lists what holds up a shutdown). Never fails.
    explicit SessionGuard(const std::string& reason);
    // Releases every hold taken.
    ~SessionGuard();
    SessionGuard(const SessionGuard&) = delete;
    SessionGuard& operator=(const SessionGuard&) = delete;

    struct Held; // what the system handed out; one definition per system

private:
    std::unique_ptr<Held> m_held;
};

// Whether a SessionGuard is alive: the desktop's question whether the
// session may end is then answered no.
bool SessionEndRefused();

// Told when the first SessionGuard is taken (true), before any hold is
// asked for, and when the last one is released (false), after every hold
// is given back: a front end without a desktop (a terminal's signals)
// holds its own end off meanwhile. Installs it and returns the one it
// replaces (empty: none).
using SessionHoldListener = std::function<void(bool held)>;
SessionHoldListener SetSessionHoldListener(SessionHoldListener listener);
// Tells the listener, if any; the back ends call it.
void NotifySessionHold(bool held);

// The program's main window (a native window handle; null when it has
// gone), beside which the desktop shows the reason. Front ends set it.
void SetSessionWindow(void* window);

} // namespace platform
