// Driving the program through its shown window for the benchmark: a
// virtual X display, the upgrade pressed and answered as a user would, and
// what the run saw from the program's side (its CPU time, its answers to
// the desktop).
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "bench/thread_cpu.h"
#include "testing/child_process.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// Ends the benchmark with `why` (the benchmark program defines it).
[[noreturn]] void Fail(const std::string& why);

// CPU time of this process (RUSAGE_SELF) or of the calling thread
// (RUSAGE_THREAD), user and system.
double CpuSeconds(int who = RUSAGE_SELF);

// A virtual X display, if Xvfb can be started; ends with the object.
class VirtualDisplay {
public:
    // True once Xvfb runs; Name() is then its display (":N").
    bool Start();
    void Stop() { m_xvfb.Stop(); }
    const std::string& Name() const { return m_name; }

private:
    simtest::ChildProcess m_xvfb;
    std::string m_name;
};

// What the run through the window saw, from our side.
struct WindowRun {
    std::vector<std::string> messages;
    std::optional<Clock::time_point> pressed, resultShown;
    double cpuAtPress = 0, cpuAtResult = 0; // the process's
    double mainCpuAtPress = 0, mainCpuAtResult = 0; // the main thread's
    std::vector<ThreadCpu> threadsAtPress, threadsAtResult; // every thread's
    std::optional<Clock::time_point> lastDesktopAnswer;
    double longestDesktopGapMs = 0;
    std::vector<bench::Span> answers; // the desktop hook's runs, steady-clock microseconds

    bench::WindowFigures Figures() const
    {
        bench::WindowFigures f;
        f.commandSeconds = std::chrono::duration<double>(*resultShown - *pressed).count();
        f.cpuSeconds = cpuAtResult - cpuAtPress;
        f.otherThreadsCpuSeconds = f.cpuSeconds - (mainCpuAtResult - mainCpuAtPress);
        // The window runs on the process's main thread, whose id is the pid.
        f.otherThreads = OtherThreadsSpent(threadsAtPress, threadsAtResult, getpid());
        f.longestGapMs = longestDesktopGapMs;
        f.answers = answers;
        return f;
    }
};

// Runs the program as a user would: confirm the prompt, press Upgrade as
// soon as the window shows (the data file names the image), confirm the
// result; what it saw goes to `run`.
void RunThroughTheWindow(WindowRun& run);

} // namespace bench
