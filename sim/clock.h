// Time keeping shared by the simulator: one steady clock, deadlines as time points.
#pragma once

#include <chrono>
#include <climits>

namespace sim {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Millis = std::chrono::milliseconds;

// A deadline that never comes.
inline constexpr TimePoint kNever = TimePoint::max();

// The time point `d` from now.
inline TimePoint after(Clock::duration d)
{
    return Clock::now() + d;
}

// Milliseconds left until `deadline`, rounded up, as poll() wants them:
// -1 for kNever, 0 once the deadline has passed.
inline int poll_timeout(TimePoint deadline)
{
    if (deadline == kNever)
        return -1;
    const auto now = Clock::now();
    if (deadline <= now)
        return 0;
    const auto left = std::chrono::ceil<Millis>(deadline - now).count();
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

} // namespace sim
