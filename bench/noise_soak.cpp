// The noise soak: whole upgrades (discovery, then the Upgrade command) over
// a simulated line that flips bits at several rates. Each run goes in a
// child process of its own under a watchdog, so a hang or a crash is one
// row's verdict rather than the end of the soak. Prints a table; exits 1 if
// any run claimed success for an image the modem did not get whole, hung,
// crashed or ended in a way the program has no message for (2: bad options).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/soak_run.h"
#include "sim/flags.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    int runs = 20;
    std::vector<double> probabilities = {1e-5, 1e-4, 1e-3};
    std::vector<NoiseMode> modes = {NoiseMode::In, NoiseMode::Both};
    int watchdogSeconds = 300;
};

std::vector<std::string> SplitCommas(std::string_view text)
{
    std::vector<std::string> parts;
    std::stringstream in{std::string(text)};
    for (std::string part; std::getline(in, part, ',');)
        parts.push_back(part);
    return parts;
}

bool ParseModes(std::string_view text, std::vector<NoiseMode>& modes)
{
    modes.clear();
    for (const std::string& m : SplitCommas(text)) {
        if (m == "in")
            modes.push_back(NoiseMode::In);
        else if (m == "both")
            modes.push_back(NoiseMode::Both);
        else if (m == "replies")
            modes.push_back(NoiseMode::Replies);
        else
            return false;
    }
    return !modes.empty();
}

bool ParseProbabilities(std::string_view text, std::vector<double>& out)
{
    out.clear();
    for (const std::string& p : SplitCommas(text)) {
        double value = 0;
        if (!sim::parse_number(std::string_view(p), 0.0, 1.0, value))
            return false;
        out.push_back(value);
    }
    return !out.empty();
}

const std::vector<sim::Flag<Options>>& Flags()
{
    using V = std::string_view;
    static const std::vector<sim::Flag<Options>> table = {
        {"runs", "N", "seeds 1..N per row (default 20)",
            [](Options& o, V v) { return sim::parse_number(v, 1, 100000, o.runs); }},
        {"probabilities", "P,P,...", "chances of a flipped bit per byte (default 1e-5,1e-4,1e-3)",
            [](Options& o, V v) { return ParseProbabilities(v, o.probabilities); }},
        {"modes", "M,M,...",
            "where the noise goes (default in,both): in = what the loader receives (packets, EOT); "
            "both = there and in the loader's replies (start character, ACK, NAK); replies = only there",
            [](Options& o, V v) { return ParseModes(v, o.modes); }},
        {"watchdog", "SECONDS", "a run still going after this long counts as hung (default 300)",
            [](Options& o, V v) { return sim::parse_number(v, 1, 86400, o.watchdogSeconds); }},
        {"help", nullptr, "show this text", [](Options&, V) { return true; }},
    };
    return table;
}

std::string Usage()
{
    return sim::flag_usage(Flags(),
        "Usage: noise_soak [FLAGS]\n"
        "Full upgrades against the modem simulator, one bit flipped per byte "
        "with chance P.\n\n");
}

// Writes all of `line` and a line break; a child's last words.
void Tell(int fd, const std::string& line)
{
    const std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

// Runs one upgrade in a child process (its own process group, with the
// simulator it starts). Returns its verdict; one that outlives the watchdog
// is killed with its group and counted as hung, its temp folder removed.
SoakOutcome RunInChild(const SoakSetup& setup, int watchdogSeconds)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return SoakOutcome{SoakKind::Setup, "pipe failed", 0};
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return SoakOutcome{SoakKind::Setup, "fork failed", 0};
    }
    if (child == 0) {
        ::setpgid(0, 0);
        ::close(fds[0]);
        SoakOutcome outcome = RunSoakOnce(setup, [&](const std::string& dir) { Tell(fds[1], "folder " + dir); });
        Tell(fds[1], "outcome " + EncodeOutcome(outcome));
        ::_exit(0);
    }
    ::setpgid(child, child); // also here, so the group exists before any kill
    ::close(fds[1]);

    const auto deadline = Clock::now() + std::chrono::seconds(watchdogSeconds);
    std::string said;
    bool hung = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            hung = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000))) <= 0)
            continue;
        char buf[512];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break; // the child is done
        said.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (hung)
        ::kill(-child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }

    std::string folder;
    SoakOutcome outcome{SoakKind::Crashed, "", 0};
    bool decoded = false;
    std::istringstream lines(said);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("folder ", 0) == 0)
            folder = line.substr(7);
        else if (line.rfind("outcome ", 0) == 0)
            decoded = DecodeOutcome(line.substr(8), outcome);
    }
    if (hung || !decoded) {
        ::kill(-child, SIGKILL); // whatever of the group is left: the simulator
        std::error_code ec;
        if (!folder.empty())
            std::filesystem::remove_all(folder, ec);
    }
    if (hung)
        return SoakOutcome{SoakKind::Hung, "no verdict after " + std::to_string(watchdogSeconds) + " s", 0};
    if (!decoded) {
        outcome.detail = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                             : "exit " + std::to_string(WEXITSTATUS(status));
    }
    return outcome;
}

const char* ModeName(NoiseMode mode)
{
    switch (mode) {
    case NoiseMode::In:
        return "in";
    case NoiseMode::Both:
        return "both";
    case NoiseMode::Replies:
        return "replies";
    }
    return "?";
}

struct Row {
    NoiseMode mode = NoiseMode::In;
    double probability = 0;
    std::map<SoakKind, int> kinds;
    std::map<std::string, int> failures; // by label
    std::vector<int> naks;
    std::vector<double> seconds;
    std::vector<std::string> problems; // runs that make the soak fail
};

bool IsProblem(SoakKind kind)
{
    return kind != SoakKind::Success && kind != SoakKind::Failure;
}

const char* KindName(SoakKind kind)
{
    switch (kind) {
    case SoakKind::Success:
        return "success";
    case SoakKind::Failure:
        return "failure";
    case SoakKind::FalseSuccess:
        return "FALSE SUCCESS";
    case SoakKind::Unexpected:
        return "UNEXPECTED";
    case SoakKind::Setup:
        return "SETUP FAILED";
    case SoakKind::Hung:
        return "HUNG";
    case SoakKind::Crashed:
        return "CRASHED";
    }
    return "?";
}

void PrintTable(const std::vector<Row>& rows, const Options& opt, double wallSeconds)
{
    std::printf("\nnoise soak: %d runs per row, unthrottled line, watchdog %d s, wall time %.0f s\n\n", opt.runs,
        opt.watchdogSeconds, wallSeconds);
    std::printf("%-7s %-8s %5s %8s %9s %5s %7s %6s %11s %9s %9s   %s\n", "noise", "P/byte", "runs", "success",
        "false-ok", "hung", "crashed", "other", "NAKs mean", "NAKs max", "s/run", "failures by message");
    for (const Row& r : rows) {
        auto count = [&](SoakKind k) {
            auto it = r.kinds.find(k);
            return it == r.kinds.end() ? 0 : it->second;
        };
        const double nakMean = r.naks.empty()
            ? 0
            : std::accumulate(r.naks.begin(), r.naks.end(), 0.0) / static_cast<double>(r.naks.size());
        const int nakMax = r.naks.empty() ? 0 : *std::max_element(r.naks.begin(), r.naks.end());
        const double secMean = r.seconds.empty()
            ? 0
            : std::accumulate(r.seconds.begin(), r.seconds.end(), 0.0) / static_cast<double>(r.seconds.size());
        std::string failures;
        for (const auto& [label, n] : r.failures)
            failures += (failures.empty() ? "" : ", ") + label + " " + std::to_string(n);
        std::printf("%-7s %-8.0e %5zu %8d %9d %5d %7d %6d %11.2f %9d %9.1f   %s\n", ModeName(r.mode), r.probability,
            r.seconds.size(), count(SoakKind::Success), count(SoakKind::FalseSuccess), count(SoakKind::Hung),
            count(SoakKind::Crashed), count(SoakKind::Unexpected) + count(SoakKind::Setup), nakMean, nakMax, secMean,
            failures.empty() ? "-" : failures.c_str());
    }
    std::printf("\nfailure labels:\n");
    int n = 0;
    const LabelledMessage* labels = FailureLabels(n);
    for (int k = 0; k < n; ++k) {
        std::string text = labels[k].message;
        std::replace(text.begin(), text.end(), '\n', ' ');
        std::printf("  %-15s %s\n", labels[k].label, text.c_str());
    }
    for (const Row& r : rows)
        for (const std::string& p : r.problems)
            std::printf("PROBLEM %s %.0e: %s\n", ModeName(r.mode), r.probability, p.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    Options opt;
    bool help = false;
    const std::string error = sim::parse_flags(Flags(), std::vector<std::string>(argv + 1, argv + argc), opt, help);
    if (!error.empty()) {
        std::fprintf(stderr, "noise_soak: %s\n%s", error.c_str(), Usage().c_str());
        return 2;
    }
    if (help) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }

    const auto start = Clock::now();
    std::vector<Row> rows;
    for (NoiseMode mode : opt.modes) {
        for (double p : opt.probabilities) {
            Row& row = rows.emplace_back();
            row.mode = mode;
            row.probability = p;
            for (int run = 1; run <= opt.runs; ++run) {
                const auto t0 = Clock::now();
                const SoakOutcome o = RunInChild(SoakSetup{p, mode, static_cast<uint64_t>(run)}, opt.watchdogSeconds);
                const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
                ++row.kinds[o.kind];
                if (o.kind == SoakKind::Failure)
                    ++row.failures[o.detail];
                if (IsProblem(o.kind))
                    row.problems.push_back("seed " + std::to_string(run) + ": " + KindName(o.kind) + " " + o.detail);
                row.naks.push_back(o.naks);
                row.seconds.push_back(seconds);
                std::fprintf(stderr, "%s %.0e run %d/%d: %s%s%s, %d NAKs, %.1f s\n", ModeName(mode), p, run, opt.runs,
                    KindName(o.kind), o.detail.empty() ? "" : " ", o.detail.c_str(), o.naks, seconds);
            }
        }
    }
    PrintTable(rows, opt, std::chrono::duration<double>(Clock::now() - start).count());

    for (const Row& r : rows)
        if (!r.problems.empty())
            return 1;
    return 0;
}
