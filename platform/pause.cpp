#include "platform/pause.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

struct Desktop {
    DesktopHook hook;
    unsigned pausedMs = 0; // pausing asked for since the hook last ran
    Clock::time_point ranAt{}; // when it last ran
    bool running = false; // a pause inside the hook runs no hook
};

Desktop& TheDesktop()
{
    static Desktop desktop;
    return desktop;
}

// Runs the hook if `intervalMs` have gone by since it last ran, counted as
// pausing asked for or on the clock.
void AnswerDesktopIfDue(unsigned intervalMs = kDesktopIntervalMs)
{
    Desktop& d = TheDesktop();
    if (!d.hook || d.running)
        return;
    const auto now = Clock::now();
    if (d.pausedMs < intervalMs && now - d.ranAt < std::chrono::milliseconds(intervalMs))
        return;
    d.running = true;
    d.hook();
    d.running = false;
    d.pausedMs = 0;
    d.ranAt = Clock::now();
}

} // namespace

bool PauseUnless(unsigned ms, Waiter wait)
{
    while (ms > 0) {
        AnswerDesktopIfDue();
        // Without a hook there is nothing to cut the pause for.
        const unsigned slice = TheDesktop().hook ? std::min(ms, kDesktopIntervalMs) : ms;
        const bool came = wait(slice);
        // The whole slice counts even when it ended early: the hook then
        // runs a little sooner, never later.
        TheDesktop().pausedMs += slice;
        if (came)
            return true;
        ms -= slice;
    }
    return false;
}

void AnswerDesktopEarly()
{
    AnswerDesktopIfDue(kDesktopIntervalMs / 2);
}

void Pause(unsigned ms)
{
    PauseUnless(ms, [](unsigned slice) {
        SleepFor(slice);
        return false;
    });
}

DesktopHook SetDesktopHook(DesktopHook hook)
{
    Desktop& d = TheDesktop();
    std::swap(d.hook, hook);
    d.pausedMs = 0;
    d.ranAt = Clock::now();
    return hook;
}

} // namespace platform
