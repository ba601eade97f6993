// Pseudo-terminals in tests, read and written against deadlines with plain
// POSIX calls: PtyClient is the test's end of a line (a simulator's slave,
// opened by path, or the master side of a ModemPty); ModemPty is a line whose
// master side the test plays the modem on, its slave reachable as a COM
// name through QUILVEX_COM<n>.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
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
    bool open(const std::string& path)
    {
        close();
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0)
            return false;
        termios tio{};
        if (tcgetattr(fd_, &tio) == 0) {
            cfmakeraw(&tio);
            tcsetattr(fd_, TCSANOW, &tio);
        }
        hung_up_ = false;
        return true;
    }

    // Takes `fd`, an open non-blocking descriptor, over: it closes with the client.
    void adopt(int fd)
    {
        close();
        fd_ = fd;
        hung_up_ = false;
    }

    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool is_open() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // True once a read failed the way a vanished device fails (EIO or end of file).
    bool hung_up() const { return hung_up_; }

    // Writes all of `bytes` within kReplyLimit. False on an error or a stall.
    bool send(std::string_view bytes)
    {
        const auto deadline = Clock::now() + kReplyLimit;
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno != EINTR && errno != EAGAIN)
                return false;
            if (!wait(POLLOUT, deadline))
                return false;
        }
        return true;
    }

    // Reads until the text received ends with `suffix` or `timeout` passed;
    // returns what came.
    std::string read_until(std::string_view suffix, ms timeout = kReplyLimit)
    {
        return collect(timeout, std::string::npos,
            [&](const std::string& got) { return std::string_view(got).ends_with(suffix); });
    }

    // Reads exactly `n` bytes, or fewer if `timeout` passes first.
    std::string read_n(std::size_t n, ms timeout = kReplyLimit)
    {
        return collect(timeout, n, [&](const std::string& got) { return got.size() >= n; });
    }

    // Reads whatever arrives during `span`, or until the line hangs up.
    std::string read_for(ms span)
    {
        std::string got;
        const auto deadline = Clock::now() + span;
        while (read_some(got, deadline, 4096)) { }
        return got;
    }

    // Everything that arrives until the line has been quiet for `quiet` (for
    // a peer that serves in a loop, not to wait for a reply).
    std::string drain(ms quiet)
    {
        std::string got;
        while (read_some(got, Clock::now() + quiet, 4096)) { }
        return got;
    }

private:
    using Clock = std::chrono::steady_clock;

    template <typename Done> std::string collect(ms timeout, std::size_t max, Done done)
    {
        std::string got;
        const auto deadline = Clock::now() + timeout;
        while (!done(got) && read_some(got, deadline, max - got.size())) { }
        return got;
    }

    bool wait(short events, Clock::time_point deadline)
    {
        for (;;) {
            const auto left = std::chrono::ceil<ms>(deadline - Clock::now()).count();
            if (left <= 0)
                return false;
            pollfd p{fd_, events, 0};
            const int r = ::poll(&p, 1, static_cast<int>(left));
            if (r > 0)
                return true;
            if (r < 0 && errno != EINTR)
                return false;
        }
    }

    // Appends up to `max` bytes; false on timeout or a failed read.
    bool read_some(std::string& out, Clock::time_point deadline, std::size_t max)
    {
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
            if (!wait(POLLIN, deadline))
                return false;
        }
    }

    int fd_ = -1;
    bool hung_up_ = false;
};

// A pseudo-terminal pair: the test holds the master side as a PtyClient,
// the program under test opens Path().
class ModemPty {
public:
    ModemPty()
    {
        termios raw{};
        cfmakeraw(&raw);
        char name[128] = {};
        int master = -1;
        if (openpty(&master, &slave_, name, &raw, nullptr) == 0) {
            path_ = name;
            fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
            master_.adopt(master);
        }
    }
    ~ModemPty() { Hangup(); }
    ModemPty(const ModemPty&) = delete;
    ModemPty& operator=(const ModemPty&) = delete;

    bool Ok() const { return master_.is_open(); }
    const std::string& Path() const { return path_; }
    int Master() const { return master_.fd(); }

    // Sends bytes as the modem would; everything the program sent until the
    // line was quiet for `quietMs`; the next `count` bytes the program sent
    // (short only when they did not come within PtyClient::kReplyLimit).
    void Send(const std::string& bytes) { master_.send(bytes); }
    std::string Drain(int quietMs) { return master_.drain(std::chrono::milliseconds(quietMs)); }
    std::string ReceiveBytes(size_t count) { return master_.read_n(count); }

    // Waits up to PtyClient::kReplyLimit until at least `count` bytes wait on
    // the program's side of the line. False on time-out.
    bool AwaitQueued(size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + PtyClient::kReplyLimit;
        for (;;) {
            int queued = 0;
            if (ioctl(slave_, TIOCINQ, &queued) == 0 && size_t(queued) >= count)
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            pollfd p{slave_, POLLIN, 0};
            poll(&p, 1, 1); // data may still be on its way through the pty
        }
    }

    // The modem goes away: both of our ends close.
    void Hangup()
    {
        if (slave_ >= 0)
            close(slave_);
        slave_ = -1;
        master_.close();
    }

private:
    int slave_ = -1;
    PtyClient master_;
    std::string path_;
};

} // namespace simtest
