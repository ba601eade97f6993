// quilvex-cli as a child process of a test: run with its standard streams
// in files (no terminal), or on a pseudo-terminal of its own, as the
// session leader it is under ssh, with a thread reading what it writes
// there unless the test holds the terminal's output.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "testing/child_process.h"
#include "testing/event_log.h"

#ifndef QX_CLI
#error "QX_CLI names the program under test"
#endif

namespace clitest {

using namespace std::chrono_literals;
// Limits for what never comes, not paces: a loaded machine may be slow.
constexpr std::chrono::milliseconds kRunLimit = 90s;

struct Outcome {
    int code = -1; // exit code; -1: did not exit by itself in time
    std::string out, err;
};

// Runs quilvex-cli `args` in `dir` with standard input from /dev/null (no
// terminal) and its output in files there. Waits for it to end.
inline Outcome RunPlain(const std::string& dir, const std::vector<std::string>& args)
{
    simtest::ChildProcess child;
    std::vector<std::string> argv{QX_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    sim::SpawnSetup setup;
    setup.files = {"/dev/null", dir + "/cli.out", dir + "/cli.err"};
    setup.dir = dir;
    Outcome outcome;
    if (!child.Start(argv, setup)) {
        outcome.err = child.Error();
        return outcome;
    }
    if (child.WaitExit(kRunLimit) && WIFEXITED(child.Status()))
        outcome.code = WEXITSTATUS(child.Status());
    outcome.out = simtest::ReadWholeFile(dir + "/cli.out");
    outcome.err = simtest::ReadWholeFile(dir + "/cli.err");
    return outcome;
}

// quilvex-cli on a pseudo-terminal: its stdin, stdout and stderr, and its
// controlling terminal (it leads a session of its own).
class PtyRun {
public:
    PtyRun(const std::string& dir, const std::vector<std::string>& args)
    {
        std::vector<std::string> argv{QX_CLI};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ == 0) {
            std::vector<char*> raw;
            for (std::string& a : argv)
                raw.push_back(a.data());
            raw.push_back(nullptr);
            if (::chdir(dir.c_str()) == 0)
                ::execv(raw[0], raw.data());
            ::_exit(127);
        }
        if (pid_ > 0)
            reader_ = std::thread([this] { Read(); });
    }
    ~PtyRun()
    {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            Wait(10s);
        }
        stop_ = true;
        if (reader_.joinable())
            reader_.join();
        CloseTerminal();
    }
    PtyRun(const PtyRun&) = delete;
    PtyRun& operator=(const PtyRun&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Types `keys` on the terminal.
    void Type(const std::string& keys) { [[maybe_unused]] auto n = ::write(master_, keys.data(), keys.size()); }
    // Stops reading the terminal: what the program writes piles up there.
    void HoldOutput() { hold_ = true; }
    void ReleaseOutput() { hold_ = false; }
    // Closes the terminal's far end, as a dropped ssh connection does.
    void CloseTerminal()
    {
        stop_ = true;
        if (reader_.joinable())
            reader_.join();
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

    // Everything read from the terminal so far.
    std::string Output() const
    {
        std::lock_guard lock(mutex_);
        return output_;
    }
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit = kRunLimit) const
    {
        return simtest::WaitUntil([&] { return Output().find(text) != std::string::npos; }, limit);
    }

    // Waits for the program to exit. Returns its exit code, or -1 when it
    // did not exit (in time, or by itself: a signal ended it).
    int Wait(std::chrono::milliseconds limit = kRunLimit)
    {
        simtest::WaitUntil(
            [&] {
                int status = 0;
                const pid_t r = ::waitpid(pid_, &status, WNOHANG);
                if (r == pid_)
                    status_ = status;
                return status_ >= 0;
            },
            limit);
        return status_ >= 0 && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

private:
    void Read()
    {
        while (!stop_) {
            if (hold_) {
                std::this_thread::sleep_for(10ms);
                continue;
            }
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            char buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) {
                std::this_thread::sleep_for(10ms); // EIO once the program has gone
                continue;
            }
            std::lock_guard lock(mutex_);
            output_.append(buf, static_cast<size_t>(n));
        }
    }

    int master_ = -1;
    pid_t pid_ = -1;
    int status_ = -1;
    std::atomic<bool> stop_{false}, hold_{false};
    mutable std::mutex mutex_;
    std::string output_;
    std::thread reader_;
};

} // namespace clitest
