// The test's end of a simulated modem: the pty slave, opened raw with plain
// POSIX calls, read against deadlines.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

namespace simtest {

using namespace std::chrono_literals;

class PtyClient {
 public:
  using ms = std::chrono::milliseconds;
  // How long a read may wait for what it expects: a limit for a peer that
  // never answers, not a pace (a loaded machine may be slow).
  static constexpr ms kReplyLimit{10000};

  PtyClient() = default;
  explicit PtyClient(const std::string& path) { open(path); }
  ~PtyClient() { close(); }
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  // Opens `path` (a pty slave or a link to one) raw and non-blocking.
  // Returns false with errno set on failure; the client stays closed.
  bool open(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return false;
    termios tio{};
    if (tcgetattr(fd_, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(fd_, TCSANOW, &tio);
    }
    hung_up_ = false;
    return true;
  }

  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // True once a read failed the way a vanished device fails (EIO or end of file).
  bool hung_up() const { return hung_up_; }

  // Writes all of `bytes` within 2 s. False on an error or a stall.
  bool send(std::string_view bytes) {
    const auto deadline = Clock::now() + 2s;
    while (!bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
      if (!wait(POLLOUT, deadline)) return false;
    }
    return true;
  }

  // Reads until the text received ends with `suffix` or `timeout` passed;
  // returns what came.
  std::string read_until(std::string_view suffix, ms timeout = kReplyLimit) {
    return collect(timeout, std::string::npos,
                   [&](const std::string& got) { return std::string_view(got).ends_with(suffix); });
  }

  // Reads exactly `n` bytes, or fewer if `timeout` passes first.
  std::string read_n(std::size_t n, ms timeout = kReplyLimit) {
    return collect(timeout, n, [&](const std::string& got) { return got.size() >= n; });
  }

  // Reads whatever arrives during `span`, or until the line hangs up.
  std::string read_for(ms span) {
    std::string got;
    const auto deadline = Clock::now() + span;
    while (read_some(got, deadline, 4096)) {
    }
    return got;
  }

 private:
  using Clock = std::chrono::steady_clock;

  template <typename Done>
  std::string collect(ms timeout, std::size_t max, Done done) {
    std::string got;
    const auto deadline = Clock::now() + timeout;
    while (!done(got) && read_some(got, deadline, max - got.size())) {
    }
    return got;
  }

  bool wait(short events, Clock::time_point deadline) {
    for (;;) {
      const auto left = std::chrono::ceil<ms>(deadline - Clock::now()).count();
      if (left <= 0) return false;
      pollfd p{fd_, events, 0};
      const int r = ::poll(&p, 1, static_cast<int>(left));
      if (r > 0) return true;
      if (r < 0 && errno != EINTR) return false;
    }
  }

  // Appends up to `max` bytes; false on timeout or a failed read.
  bool read_some(std::string& out, Clock::time_point deadline, std::size_t max) {
    for (;;) {
      char buf[4096];
      const ssize_t n = ::read(fd_, buf, std::min(max, sizeof buf));
      if (n > 0) {
        out.append(buf, static_cast<std::size_t>(n));
        return true;
      }
      if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        hung_up_ = true;
        return false;
      }
      if (!wait(POLLIN, deadline)) return false;
    }
  }

  int fd_ = -1;
  bool hung_up_ = false;
};

}  // namespace simtest
