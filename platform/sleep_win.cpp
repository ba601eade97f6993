// The plain sleep on Windows, with the system timer at 1 ms resolution for
// the program's life.
#include "platform/pause.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <mmsystem.h>

namespace platform {

namespace {

// Windows ticks every 15.6 ms unless a program asks for finer: every 1 ms
// pause and every serial time-out would round up to a whole tick. The
// program holds 1 ms resolution from start to exit.
class FineTimer {
public:
    FineTimer() : m_held(::timeBeginPeriod(1) == TIMERR_NOERROR) { }
    ~FineTimer()
    {
        if (m_held)
            ::timeEndPeriod(1);
    }
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

private:
    bool m_held;
};

const FineTimer g_fineTimer;

} // namespace

void SleepFor(unsigned ms)
{
    if (ms == 0)
        return;
    ::Sleep(ms < INFINITE ? ms : INFINITE - 1);
}

} // namespace platform
