// Runs quilvex-modem-sim as a child process for a test: its own temp folder,
// a COM link in it, the event log (stdout) and the command-mode byte log.
// Link against qx_testing, which defines QX_SIM_EXE.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <memory>
#include <vector>

#include "testing/port_map.h"

#ifndef QX_SIM_EXE
#error "link against qx_testing: it defines QX_SIM_EXE"
#endif

extern char** environ;

namespace simtest {

class SimProcess {
 public:
  using ms = std::chrono::milliseconds;

  // Starts the simulator with `args` plus --link LINK, --log <dir>/received.log
  // and, unless `args` has one, --image-out <dir>/image.bin. LINK is
  // `link_name` inside the temp folder, or `link_name` itself if absolute.
  // Waits up to 30 s for the link; check started() and error().
  explicit SimProcess(std::vector<std::string> args = {}, std::string link_name = "modem") {
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

  ~SimProcess() {
    stop();
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool started() const { return started_; }
  const std::string& error() const { return error_; }
  pid_t pid() const { return pid_; }

  const std::string& link() const { return link_; }
  const std::string& dir() const { return dir_; }
  std::string path(std::string_view name) const { return dir_ + "/" + std::string(name); }
  std::string image_path() const { return path("image.bin"); }

  // The pty slave device (first line the simulator printed).
  std::string slave() const {
    const std::string out = events();
    return out.substr(0, out.find('\n'));
  }

  // All that the simulator printed: the slave path, then one line per event.
  std::string events() const { return slurp(path("stdout.txt")); }

  // Waits until an event line starts with `prefix`. Returns that line, or ""
  // after `timeout` (a limit for a simulator that never gets there, not a
  // pace: a loaded machine may take long).
  std::string wait_for_event(std::string_view prefix, ms timeout = ms(30000)) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      std::istringstream lines(events());
      for (std::string line; std::getline(lines, line);)
        if (line.starts_with(prefix)) return line;
      if (std::chrono::steady_clock::now() >= deadline) return "";
      std::this_thread::sleep_for(ms(10));
    }
  }

  // Every byte the simulator received in command mode, raw.
  std::string received() const { return slurp(path("received.log")); }

  // received() once it reads `expected`, or as it stands after `timeout`
  // (the simulator logs a byte a moment after it arrives).
  std::string await_received(std::string_view expected, ms timeout = ms(30000)) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      std::string got = received();
      if (got == expected || std::chrono::steady_clock::now() >= deadline) return got;
      std::this_thread::sleep_for(ms(10));
    }
  }

  // What the simulator wrote to stderr.
  std::string diagnostics() const { return slurp(path("stderr.txt")); }

  // True while the simulator process has not ended.
  bool running() {
    if (pid_ <= 0) return false;
    int status = 0;
    pid_t r;
    do r = waitpid(pid_, &status, WNOHANG);
    while (r < 0 && errno == EINTR);
    if (r == 0) return true;
    pid_ = -1;
    status_ = status;
    return false;
  }

  // Waits up to `timeout` for the simulator to end by itself. True if it did.
  bool wait_exit(ms timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(ms(10));
    }
    return true;
  }

  // Ends the simulator: SIGTERM, then SIGKILL after `grace`. Returns its wait
  // status (-1 if it never ran). Safe to repeat.
  int stop(ms grace = ms(3000)) {
    if (running()) {
      kill(pid_, SIGTERM);
      if (!wait_exit(grace)) {
        kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = status;
        pid_ = -1;
      }
    }
    return status_;
  }

 private:
  static constexpr ms kStartLimit = ms(30000);

  static std::string slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  void start(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string exe = QX_SIM_EXE;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string out = path("stdout.txt"), err = path("stderr.txt");
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      error_ = "cannot start " + exe;
      return;
    }
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    struct stat st{};
    while (lstat(link_.c_str(), &st) != 0 || events().find('\n') == std::string::npos) {
      if (!running()) {
        error_ = "simulator ended early: " + diagnostics();
        return;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        error_ = "no link after 30 s: " + diagnostics();
        return;
      }
      std::this_thread::sleep_for(ms(10));
    }
    started_ = true;
  }

  std::string dir_;
  std::string link_;
  std::string error_;
  pid_t pid_ = -1;
  int status_ = -1;
  bool started_ = false;
};

// COM1..COM9 with simulators hung on the ports a test chooses; every other
// name leads nowhere. The simulators stop when the map goes away.
class SimPorts : public PortMap {
 public:
  // Starts a simulator with `args` and makes it COM`n`. Check started().
  SimProcess& Start(int n, std::vector<std::string> args = {}) {
    SimProcess& sim = *sims_.emplace_back(std::make_unique<SimProcess>(std::move(args)));
    Map(n, sim.link());
    return sim;
  }

 private:
  std::vector<std::unique_ptr<SimProcess>> sims_;
};

}  // namespace simtest
