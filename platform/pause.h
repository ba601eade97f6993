// Pauses: the program's only way of pacing itself.
//
// A busy program keeps answering the desktop from inside its pauses. The
// desktop front end installs a hook that handles the desktop's paint and
// other non-input events (never user input, never a close request); every
// pause runs it once kDesktopIntervalMs of pausing have gone by since it
// last ran, and a longer pause is cut into slices with the hook between
// them. Without a hook a pause is a plain sleep. Nothing here knows the
// toolkit.
#pragma once

#include <functional>
#include <memory>
#include <type_traits>

namespace platform {

// Longest stretch of pausing, in milliseconds, between two runs of the
// desktop hook (counted both as asked for and on the clock).
constexpr unsigned kDesktopIntervalMs = 50;

// Sleeps for at least `ms` milliseconds (resumes after signals), running
// the desktop hook when it is due. 0 returns at once.
void Pause(unsigned ms);

// Blocks for up to `ms` milliseconds waiting for something. Returns true as
// soon as it came, false when the time passed without it. A Waiter only
// borrows the callable it is made from (a lambda at the call, say), so it
// costs no allocation on a path taken every millisecond; it must not
// outlive that callable.
class Waiter {
public:
    template <class F>
    requires(!std::is_same_v<std::remove_cvref_t<F>, Waiter> && std::is_invocable_r_v<bool, F&, unsigned>)
        Waiter(F&& wait) // NOLINT(google-explicit-constructor): lambdas convert at the call
        : m_callable(const_cast<void*>(static_cast<const void*>(std::addressof(wait)))),
          m_call([](void* callable, unsigned ms) -> bool {
              return (*static_cast<std::remove_reference_t<F>*>(callable))(ms);
          })
    {
    }
    bool operator()(unsigned ms) const { return m_call(m_callable, ms); }

private:
    void* m_callable;
    bool (*m_call)(void*, unsigned);
};

// A pause of `ms` milliseconds that `wait` does and may end early (a port
// wait that ends when a byte arrives). Returns true when `wait` ended it
// early; false after the full time. The desktop hook runs as in Pause.
bool PauseUnless(unsigned ms, Waiter wait);

// Runs the desktop hook now if half of kDesktopIntervalMs has gone by since
// it last ran (as in Pause). For a caller at a moment when nothing waits on
// it (a packet's bytes on their way to the modem): the pauses after it then
// seldom find the hook due at a moment when something does (the reply).
void AnswerDesktopEarly();

// What the front end runs to answer the desktop during a pause (null: no
// hook). It must not service user input. Returns the hook it replaces.
using DesktopHook = std::function<void()>;
DesktopHook SetDesktopHook(DesktopHook hook);

// The plain sleep under every pause, one per operating system: at least
// `ms` milliseconds, runs no hook. 0 returns at once.
void SleepFor(unsigned ms);

} // namespace platform
