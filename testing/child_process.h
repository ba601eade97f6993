// A child process of a test or benchmark: started with sim::spawn_process,
// waited for against a deadline, stopped by its pid (SIGTERM, then SIGKILL)
// at the latest when the object goes away.
#pragma once

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "sim/child.h"
#include "testing/event_log.h"

namespace simtest {

class ChildProcess {
public:
    using ms = std::chrono::milliseconds;

    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts `argv` set up as `setup` says. False with Error() set when it
    // could not start (nothing runs then).
    bool Start(const std::vector<std::string>& argv, const sim::SpawnSetup& setup = {})
    {
        Stop();
        status_ = -1;
        pid_ = sim::spawn_process(argv, setup, &error_);
        return pid_ > 0;
    }

    const std::string& Error() const { return error_; }
    pid_t Pid() const { return pid_; }

    // True while the child has not ended; reaps it once it has.
    bool Running()
    {
        if (pid_ <= 0)
            return false;
        int status = 0;
        pid_t r;
        do
            r = waitpid(pid_, &status, WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == 0)
            return true;
        pid_ = -1;
        status_ = r > 0 ? status : -1;
        return false;
    }

    // Waits up to `timeout` for the child to end by itself. True if it did.
    bool WaitExit(ms timeout)
    {
        return WaitUntil([this] { return !Running(); }, timeout);
    }

    // Ends the child: SIGTERM, then SIGKILL after `grace`. Returns its wait
    // status (-1 if it never ran). Safe to repeat.
    int Stop(ms grace = ms(3000))
    {
        if (Running()) {
            kill(pid_, SIGTERM);
            if (!WaitExit(grace)) {
                kill(pid_, SIGKILL);
                int status = 0;
                while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) { }
                status_ = status;
                pid_ = -1;
            }
        }
        return status_;
    }

    // The wait status once the child has ended and been reaped, else -1.
    int Status() const { return pid_ > 0 ? -1 : status_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string error_;
};

} // namespace simtest
