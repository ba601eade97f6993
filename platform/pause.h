// A millisecond pause, the program's only way of pacing itself.
#pragma once

namespace platform {

// Sleeps for at least `ms` milliseconds (resumes after signals). 0 returns at once.
void Pause(unsigned ms);

} // namespace platform
