// quilvex-modem-sim: a simulated telephone modem on a pseudo-terminal.
#include <signal.h>
#include <sys/prctl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/options.h"
#include "sim/simulator.h"

namespace {

std::atomic<sim::Simulator*> g_simulator{nullptr};

void on_signal(int)
{
    if (sim::Simulator* s = g_simulator.load())
        s->stop();
}

void print_line(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const sim::ParsedArgs parsed = sim::parse_args(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quilvex-modem-sim: %s (see --help)\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.help) {
        std::fputs(sim::usage_text().c_str(), stdout);
        return 0;
    }

    sim::Simulator simulator(parsed.options, print_line);
    g_simulator = &simulator;
    struct sigaction action { };
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    // A paced line keeps time in byte-times of 87 us; the default 50 us of
    // timer slack on every pause would add up to seconds over an upgrade.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);

    std::string error;
    if (!simulator.open(&error)) {
        std::fprintf(stderr, "quilvex-modem-sim: %s\n", error.c_str());
        g_simulator = nullptr;
        return 1;
    }
    print_line(simulator.slave_path());
    const int status = simulator.run();
    g_simulator = nullptr;
    return status;
}
