// Runs quilvex-modem-sim as a child process for a test: its own temp folder,
// a COM link in it, the event log (stdout) and the command-mode byte log.
// Link against qx_testing, which defines QX_SIM_EXE.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "testing/child_process.h"
#include "testing/event_log.h"
#include "testing/com_ports.h"

#ifndef QX_SIM_EXE
#error "link against qx_testing: it defines QX_SIM_EXE"
#endif

namespace simtest {

class SimProcess {
public:
    using ms = std::chrono::milliseconds;
    // How long starting, or an awaited event, may take on a loaded machine.
    static constexpr ms kStartLimit = ms(30000);

    // Starts the simulator with `args` plus --link LINK, --log <dir>/received.log
    // and, unless `args` has one, --image-out <dir>/image.bin. LINK is
    // `link_name` inside the temp folder, or `link_name` itself if absolute.
    // Waits up to 30 s for the link; check started() and error().
    explicit SimProcess(std::vector<std::string> args = {}, std::string link_name = "modem")
    {
        char pattern[] = "/tmp/qxsim.XXXXXX";
        if (!mkdtemp(pattern)) {
            error_ = "mkdtemp failed";
            return;
        }
        dir_ = pattern;
        link_ = link_name.starts_with('/') ? link_name : path(link_name);
        if (std::find(args.begin(), args.end(), "--image-out") == args.end())
            args.insert(args.end(), {"--image-out", image_path()});
        args.insert(args.end(), {"--link", link_, "--log", path("received.log")});
        start(args);
    }

    ~SimProcess()
    {
        stop();
        std::error_code ec;
        if (!dir_.empty())
            std::filesystem::remove_all(dir_, ec);
    }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return started_; }
    const std::string& error() const { return error_; }
    pid_t pid() const { return child_.Pid(); }

    const std::string& link() const { return link_; }
    const std::string& dir() const { return dir_; }
    std::string path(std::string_view name) const { return dir_ + "/" + std::string(name); }
    std::string image_path() const { return path("image.bin"); }

    // The pty slave device (first line the simulator printed).
    std::string slave() const
    {
        const std::string out = events();
        return out.substr(0, out.find('\n'));
    }

    // All that the simulator printed: the slave path, then one line per event.
    std::string events() const { return ReadWholeFile(path("stdout.txt")); }

    // Waits until an event line starts with `prefix`. Returns that line, or ""
    // after `timeout` (a limit for a simulator that never gets there, not a
    // pace: a loaded machine may take long).
    std::string wait_for_event(std::string_view prefix, ms timeout = kStartLimit) const
    {
        return WaitForLine(path("stdout.txt"), prefix, timeout);
    }

    // Every byte the simulator received in command mode, raw.
    std::string received() const { return ReadWholeFile(path("received.log")); }

    // received() once it reads `expected`, or as it stands after `timeout`
    // (the simulator logs a byte a moment after it arrives).
    std::string await_received(std::string_view expected, ms timeout = kStartLimit) const
    {
        std::string got;
        WaitUntil([&] { return (got = received()) == expected; }, timeout);
        return got;
    }

    // What the simulator wrote to stderr.
    std::string diagnostics() const { return ReadWholeFile(path("stderr.txt")); }

    // True while the simulator process has not ended.
    bool running() { return child_.Running(); }

    // Waits up to `timeout` for the simulator to end by itself. True if it did.
    bool wait_exit(ms timeout) { return child_.WaitExit(timeout); }

    // Ends the simulator: SIGTERM, then SIGKILL after `grace`. Returns its wait
    // status (-1 if it never ran). Safe to repeat.
    int stop(ms grace = ms(3000)) { return child_.Stop(grace); }

private:
    void start(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv{QX_SIM_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        sim::SpawnSetup setup;
        setup.files = {"/dev/null", path("stdout.txt"), path("stderr.txt")};
        if (!child_.Start(argv, setup)) {
            error_ = child_.Error();
            return;
        }
        const auto linked = [this] {
            struct stat st { };
            return lstat(link_.c_str(), &st) == 0 && events().find('\n') != std::string::npos;
        };
        WaitUntil([&] { return linked() || !running(); }, kStartLimit);
        if (linked())
            started_ = true;
        else if (!running())
            error_ = "simulator ended early: " + diagnostics();
        else
            error_ = "no link after 30 s: " + diagnostics();
    }

    std::string dir_;
    std::string link_;
    std::string error_;
    ChildProcess child_;
    bool started_ = false;
};

// COM1..COM9 with simulators hung on the ports a test chooses; every other
// name leads nowhere. The simulators stop when the map goes away.
class SimPorts : public PortMap {
public:
    // Starts a simulator with `args` and makes it COM`n`. Check started().
    SimProcess& Start(int n, std::vector<std::string> args = {})
    {
        SimProcess& sim = *sims_.emplace_back(std::make_unique<SimProcess>(std::move(args)));
        Map(n, sim.link());
        return sim;
    }

private:
    std::vector<std::unique_ptr<SimProcess>> sims_;
};

} // namespace simtest
