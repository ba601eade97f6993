// A sleep that returns at once, linked into the fuzz programs in place of
// the real one: the sender polls with 1 ms pauses, and a fuzzer that slept
// through every silent reply would hardly move. Being an object file of the
// program, it wins over the one in the pause library, which is then never
// pulled in. Only the pacing changes: poll counts stay exactly the same.
#include "platform/pause.h"

namespace platform {

void SleepFor(unsigned)
{
}

} // namespace platform

bool InstantPauseLinked()
{
    return true;
}
