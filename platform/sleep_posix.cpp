// The plain sleep on POSIX systems.
#include "platform/pause.h"

#include <cerrno>
#include <ctime>

namespace platform {

void SleepFor(unsigned ms)
{
    if (ms == 0)
        return;
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) == -1 && errno == EINTR) { }
}

} // namespace platform
