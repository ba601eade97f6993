// What the simulator's --timing events say about a transfer, and how the
// benchmark sums up a spread of times. Pure: no processes, no clock.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace bench {

// Steady-clock microseconds, the simulator's stamps.
using Span = std::pair<long long, long long>;

// What the timing events say about one transfer.
struct Timing {
    double transferSeconds = 0; // first header arriving .. EOT's ACK leaving
    double heldSeconds = 0; // replies held by the simulated adapter (--reply-latency)
    std::vector<Span> reactions; // every ACK leaving .. the next header arriving
    std::string fault; // empty when the events were complete

    std::vector<double> ReactionsMs() const;
};

// Reads the simulator's event lines ("header T", "reply HEX T",
// "eot-acked T", "loader-stats ... held-ms=N"); sets `fault` when they hold
// no whole transfer.
Timing Analyse(const std::vector<std::string>& lines);

struct Spread {
    double mean = 0, p99 = 0, max = 0;
};

// Mean, 99th percentile and largest of `v`; all 0 when it is empty.
Spread SpreadOf(std::vector<double> v);

// How the window's answers to the desktop (`answers`, sorted spans) met the
// line's waits for us (`waits`, sorted spans).
struct AnswerFigures {
    size_t count = 0;
    double totalMs = 0, longestMs = 0;
    size_t waitsHit = 0; // waits that an answer overlapped
    double overlapMs = 0; // how much of the waits they overlapped in all
};

AnswerFigures MeetAnswers(const std::vector<Span>& answers, const std::vector<Span>& waits);

// What an upgrade through the window cost, from our side.
struct WindowFigures {
    double commandSeconds = 0; // Upgrade pressed .. result box
    double cpuSeconds = 0; // the process's, during the command
    double otherThreadsCpuSeconds = 0; // of which threads other than the main one
    std::vector<std::pair<std::string, double>> otherThreads; // those threads' shares, by name
    double longestGapMs = 0; // longest stretch without answering the desktop
    std::vector<Span> answers; // the desktop hook's runs
    std::string note; // anything else the run has to say, one line
};

// The targets a benchmark run is held to, each checked on the exact figure
// (a ratio printed as 1.000 may still be above 1), and which it missed.
class Targets {
public:
    // Holds `value` to `limit`: at most it, or with `atLeast` at least it.
    // The verdict shows both with `decimals` places, or more where fewer
    // would hide the miss.
    void Check(const std::string& what, double value, double limit, int decimals, bool atLeast = false);
    // "all 21 targets met", or "missed 2 of 21: window CPU % 5.1 > 5.0; ...";
    // with nothing checked, says so.
    std::string Verdict() const;

private:
    size_t m_checked = 0;
    std::vector<std::string> m_missed;
};

// A run's figures as text, for a run made in a process of its own, and
// back. FromText returns false on text that is not ToText's.
std::string ToText(const Timing& t, const WindowFigures& w);
bool FromText(const std::string& text, Timing& t, WindowFigures& w);

} // namespace bench
