// Starting outside programs (the simulator's loader command, and the
// children of the tests and benchmarks), and waiting for them.
#pragma once

#include <sys/types.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "sim/clock.h"

namespace sim {

// How a child is set up. For each of stdin, stdout and stderr: `fds[i]`
// (>= 0) is put there, else `files[i]` (not empty) is opened there (read for
// stdin; created or emptied for the others), else ours is inherited.
struct SpawnSetup {
    std::array<int, 3> fds{-1, -1, -1};
    std::array<std::string, 3> files;
    std::vector<int> close; // our descriptors the child must not keep
    std::string dir; // its working folder; "" keeps ours
    bool own_group = false; // a process group of its own
};

// Starts `argv` (argv[0] looked up in PATH when it holds no '/') with default
// signal handling and nothing blocked. Returns its pid, or -1 with *error set
// (nothing started).
pid_t spawn_process(const std::vector<std::string>& argv, const SpawnSetup& setup, std::string* error);

// Starts `/bin/sh -c command` in `dir` with `io_fd` as stdin and stdout, in a
// process group of its own. Returns its pid, or -1 with *error set (nothing started).
pid_t spawn_shell(const std::string& command, const std::string& dir, int io_fd, std::string* error);

// Children started with spawn_shell that have not been waited for yet.
class Reaper {
public:
    using Report = std::function<void(const std::string&)>;

    Reaper() = default;
    ~Reaper() { finish(Millis(0), nullptr); }
    Reaper(const Reaper&) = delete;
    Reaper& operator=(const Reaper&) = delete;

    // Takes `pid`, and `fd` (may be -1) to close once the child has been waited
    // for, so the child never writes into a closed socket.
    void add(pid_t pid, int fd) { children_.push_back({pid, fd}); }
    bool pending() const { return !children_.empty(); }

    struct Child {
        pid_t pid;
        int fd;
    };

    // Waits for children that have exited, without blocking; reports each as
    // "loader-cmd-exit <how>".
    void collect(const Report& report);

    // Closes the children's sockets, gives them `grace` to exit, then sends
    // their groups SIGTERM and, a second later, SIGKILL. Returns when all have
    // been waited for.
    void finish(Millis grace, const Report& report);

private:
    std::vector<Child> children_;
};

} // namespace sim
