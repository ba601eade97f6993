// Which of the program's threads spent the CPU time of a stretch of a run,
// read from /proc: the main thread's share is known from getrusage, the
// rest is told apart here by the threads' names.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace bench {

struct ThreadCpu {
    long tid = 0;
    std::string name;
    double seconds = 0; // user and system
};

// One thread's name and CPU time from a line of /proc/<pid>/task/<tid>/stat
// (the name may hold spaces and parentheses), `ticksPerSecond` being the
// clock-tick rate. False, with `out` untouched, for a line that is not one.
bool ParseTaskStat(const std::string& line, double ticksPerSecond, ThreadCpu& out);

// This process's threads as they are now; empty where /proc cannot be read.
std::vector<ThreadCpu> ThreadCpuTimes();

// What the threads other than `mainTid` spent from `before` to `after`,
// summed by name (a pool's threads share one), largest first. A thread
// that started in between counts from zero; one that ended is not seen.
std::vector<std::pair<std::string, double>> OtherThreadsSpent(
    const std::vector<ThreadCpu>& before, const std::vector<ThreadCpu>& after, long mainTid);

// "QDBusConnection 1.20 s, gdbus 0.30 s": the shares of at least 5 ms,
// "" if there is none.
std::string DescribeShares(const std::vector<std::pair<std::string, double>>& shares);

} // namespace bench
