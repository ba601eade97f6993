// Who hears of the session guard being taken and released; the same on
// every system.
#include "platform/session_guard.h"

#include <utility>

namespace platform {

namespace {
SessionHoldListener& Listener()
{
    static SessionHoldListener listener;
    return listener;
}
} // namespace

SessionHoldListener SetSessionHoldListener(SessionHoldListener listener)
{
    return std::exchange(Listener(), std::move(listener));
}

void NotifySessionHold(bool held)
{
    if (Listener())
        Listener()(held);
}

} // namespace platform
