#include "sim/child.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace sim {
namespace {

std::string describe_status(int status)
{
    if (WIFEXITED(status))
        return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// Waits for the children that have exited; with `block` waits for all.
using Children = std::vector<Reaper::Child>;

void wait_children(Children& pids, bool block, const Reaper::Report& report)
{
    for (auto it = pids.begin(); it != pids.end();) {
        int status = 0;
        pid_t r;
        do
            r = ::waitpid(it->pid, &status, block ? 0 : WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == 0) {
            ++it;
            continue;
        }
        if (r > 0 && report)
            report("loader-cmd-exit " + describe_status(status));
        if (it->fd >= 0)
            ::close(it->fd);
        it = pids.erase(it); // exited, or not ours to wait for (ECHILD)
    }
}

void signal_groups(const Children& pids, int sig)
{
    for (const auto& child : pids)
        ::kill(-child.pid, sig);
}

void wait_for(Children& pids, Millis span, const Reaper::Report& report)
{
    const TimePoint deadline = after(span);
    wait_children(pids, false, report);
    while (!pids.empty() && Clock::now() < deadline) {
        std::this_thread::sleep_for(Millis(20));
        wait_children(pids, false, report);
    }
}

} // namespace

pid_t spawn_process(const std::vector<std::string>& argv, const SpawnSetup& setup, std::string* error)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    for (int fd : setup.close)
        posix_spawn_file_actions_addclose(&actions, fd);
    for (int i = 0; i < 3; ++i) {
        if (setup.fds[i] >= 0)
            posix_spawn_file_actions_adddup2(&actions, setup.fds[i], i);
        else if (!setup.files[i].empty())
            posix_spawn_file_actions_addopen(
                &actions, i, setup.files[i].c_str(), i == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!setup.dir.empty())
        posix_spawn_file_actions_addchdir_np(&actions, setup.dir.c_str());
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&defaults, sig);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (setup.own_group) {
        posix_spawnattr_setpgroup(&attr, 0);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = argv.empty() ? EINVAL : posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        *error = "cannot start " + (argv.empty() ? std::string("nothing") : argv[0]) +
            (setup.dir.empty() ? "" : " in " + setup.dir) + ": " + std::strerror(rc);
        return -1;
    }
    return pid;
}

pid_t spawn_shell(const std::string& command, const std::string& dir, int io_fd, std::string* error)
{
    // Own process group, so the whole shell pipeline can be signalled.
    SpawnSetup setup;
    setup.fds = {io_fd, io_fd, -1};
    setup.dir = dir;
    setup.own_group = true;
    return spawn_process({"/bin/sh", "-c", command}, setup, error);
}

void Reaper::collect(const Report& report)
{
    wait_children(children_, false, report);
}

void Reaper::finish(Millis grace, const Report& report)
{
    if (children_.empty())
        return;
    // End of input tells a receiver still waiting for data that nothing more comes.
    for (auto& child : children_) {
        if (child.fd >= 0)
            ::close(child.fd);
        child.fd = -1;
    }
    wait_for(children_, grace, report);
    if (children_.empty())
        return;
    signal_groups(children_, SIGTERM);
    wait_for(children_, Millis(1000), report);
    if (children_.empty())
        return;
    signal_groups(children_, SIGKILL);
    wait_children(children_, true, report);
}

} // namespace sim
