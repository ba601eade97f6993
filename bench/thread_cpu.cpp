#include "bench/thread_cpu.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace bench {

bool ParseTaskStat(const std::string& line, double ticksPerSecond, ThreadCpu& out)
{
    // "tid (name) state ppid ...": utime and stime are the 14th and 15th
    // fields, the 12th and 13th after the name's closing parenthesis.
    const size_t open = line.find(" (");
    const size_t close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close < open + 2 || ticksPerSecond <= 0)
        return false;
    ThreadCpu parsed;
    std::istringstream head(line.substr(0, open));
    if (!(head >> parsed.tid))
        return false;
    parsed.name = line.substr(open + 2, close - open - 2);
    std::istringstream rest(line.substr(close + 1));
    std::string field;
    for (int i = 0; i < 11; ++i)
        if (!(rest >> field))
            return false;
    unsigned long long user = 0, system = 0;
    if (!(rest >> user >> system))
        return false;
    parsed.seconds = static_cast<double>(user + system) / ticksPerSecond;
    out = std::move(parsed);
    return true;
}

std::vector<ThreadCpu> ThreadCpuTimes()
{
    std::vector<ThreadCpu> threads;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        ThreadCpu t;
        if (std::getline(stat, line) && ParseTaskStat(line, ticks, t))
            threads.push_back(std::move(t));
    }
    return threads;
}

std::vector<std::pair<std::string, double>> OtherThreadsSpent(
    const std::vector<ThreadCpu>& before, const std::vector<ThreadCpu>& after, long mainTid)
{
    std::map<std::string, double> byName;
    for (const ThreadCpu& now : after) {
        if (now.tid == mainTid)
            continue;
        double then = 0;
        for (const ThreadCpu& b : before)
            if (b.tid == now.tid)
                then = b.seconds;
        byName[now.name] += std::max(0.0, now.seconds - then);
    }
    std::vector<std::pair<std::string, double>> shares(byName.begin(), byName.end());
    std::stable_sort(shares.begin(), shares.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return shares;
}

std::string DescribeShares(const std::vector<std::pair<std::string, double>>& shares)
{
    std::string text;
    for (const auto& [name, seconds] : shares) {
        if (seconds < 0.005)
            continue;
        char figure[32];
        std::snprintf(figure, sizeof figure, " %.2f s", seconds);
        text += (text.empty() ? "" : ", ") + name + figure;
    }
    return text;
}

} // namespace bench
