#include "sim/relay.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sim {
namespace {

using namespace ctl;

constexpr auto kSendStall = std::chrono::seconds(5);

// Follows the sender's packets well enough to tell an EOT from a data byte
// that happens to be 0x04.
class Framer {
public:
    enum class Kind { Header, Data, Eot, Other };

    Kind from_sender(std::uint8_t byte)
    {
        if (remaining_ > 0) {
            --remaining_;
            return Kind::Data;
        }
        if (byte == SOH || byte == STX) {
            remaining_ = 2 + (byte == SOH ? 128 : 1024) + (crc_ ? 2 : 1);
            return Kind::Header;
        }
        return byte == EOT ? Kind::Eot : Kind::Other;
    }

    void from_receiver(std::uint8_t byte)
    {
        if (!mode_known_ && (byte == kStartCrc || byte == kStartFf || byte == NAK)) {
            crc_ = byte != NAK;
            mode_known_ = true;
        }
        remaining_ = 0; // the sender waits for this reply, so it starts afresh
    }

private:
    bool crc_ = true;
    bool mode_known_ = false;
    std::size_t remaining_ = 0;
};

// Sends all of `data` to the receiver. False if it is gone or stalled.
bool send_all(int fd, const std::uint8_t* data, std::size_t size)
{
    TimePoint stall_limit = after(kSendStall);
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            stall_limit = after(kSendStall);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return false;
        pollfd p{fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, poll_timeout(stall_limit));
        if (r < 0 && errno != EINTR)
            return false;
        if (r == 0 && Clock::now() >= stall_limit)
            return false;
    }
    return true;
}

class Relay {
public:
    Relay(Line& line, const Options& options, int sock, const std::function<void(const std::string&)>& event)
        : line_(line), opt_(options), sock_(sock), event_(event)
    {
    }

    LoaderEnd run()
    {
        for (;;) {
            bool child_ready = false;
            const Io io = line_.wait(kNever, sock_, &child_ready);
            if (io == Io::Stopped || io == Io::Closed)
                return ended(io);
            if (line_.buffered() > 0) {
                if (auto end = to_receiver())
                    return *end;
            }
            if (child_ready) {
                if (auto end = from_receiver())
                    return *end;
            }
        }
    }

private:
    static LoaderEnd ended(Io io) { return io == Io::Stopped ? LoaderEnd::Stopped : LoaderEnd::Closed; }

    std::optional<LoaderEnd> to_receiver()
    {
        std::uint8_t in[4096];
        std::uint8_t out[sizeof in];
        std::size_t kept = 0;
        const std::size_t n = line_.take(in, sizeof in);
        for (std::size_t i = 0; i < n; ++i) {
            const Framer::Kind kind = framer_.from_sender(in[i]);
            if (kind == Framer::Kind::Header && opt_.hangup_stage == HangupStage::Packet &&
                acked_ + 1 == opt_.hangup_packet) {
                line_.hang_up("packet:" + std::to_string(opt_.hangup_packet));
                return LoaderEnd::Closed;
            }
            if (kind == Framer::Kind::Eot) {
                if (opt_.hangup_stage == HangupStage::Eot) {
                    line_.hang_up("eot");
                    return LoaderEnd::Closed;
                }
                // The receiver answers EOT only after a quiet second; a repeated EOT
                // would restart that wait, so it is held back.
                if (eot_pending_)
                    continue;
                eot_pending_ = true;
            } else {
                // The sender is still sending frames, so that 0x04 was data the
                // framer lost track of (after a reply in the middle of a frame):
                // the receiver's next ACK answers a packet, not the end.
                eot_pending_ = false;
            }
            out[kept++] = in[i];
        }
        if (!send_all(sock_, out, kept)) {
            event_("loader-abort loader-cmd-gone");
            return LoaderEnd::Aborted;
        }
        return std::nullopt;
    }

    std::optional<LoaderEnd> from_receiver()
    {
        std::uint8_t buf[4096];
        const ssize_t n = ::recv(sock_, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return std::nullopt;
        if (n <= 0) {
            event_("loader-abort loader-cmd-closed");
            return LoaderEnd::Aborted;
        }
        std::size_t count = static_cast<std::size_t>(n);
        bool done = false;
        for (std::size_t i = 0; i < count; ++i) {
            framer_.from_receiver(buf[i]);
            if (eot_pending_ && buf[i] == ACK) {
                count = i + 1; // EOT acknowledged: the rest is not for the line
                done = true;
            } else if (eot_pending_ && buf[i] == NAK) {
                eot_pending_ = false;
            } else if (buf[i] == ACK) {
                ++acked_;
            }
        }
        const Io io = line_.write(std::string_view(reinterpret_cast<const char*>(buf), count));
        if (io == Io::Stopped || io == Io::Closed)
            return ended(io);
        if (done) {
            event_("loader-cmd-eot-acked");
            return LoaderEnd::Finished;
        }
        return std::nullopt;
    }

    Line& line_;
    const Options& opt_;
    int sock_;
    const std::function<void(const std::string&)>& event_;
    Framer framer_;
    bool eot_pending_ = false; // an EOT went to the receiver and is unanswered
    int acked_ = 0; // packets the receiver acknowledged
};

} // namespace

LoaderEnd run_relay(
    Line& line, const Options& options, Reaper& reaper, const std::function<void(const std::string&)>& event)
{
    // The LF ending the AT~D1 line must not reach the receiver: it would answer
    // it with a second start character.
    const Io io = line.discard_until(after(Millis(options.start_delay_ms)));
    if (io != Io::Ok)
        return io == Io::Stopped ? LoaderEnd::Stopped : LoaderEnd::Closed;

    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        event(std::string("loader-abort socketpair: ") + std::strerror(errno));
        return LoaderEnd::Aborted;
    }
    std::string error;
    const pid_t pid = spawn_shell(options.loader_cmd, options.loader_dir, sv[1], &error);
    ::close(sv[1]);
    if (pid < 0) {
        ::close(sv[0]);
        event("loader-abort " + error);
        return LoaderEnd::Aborted;
    }
    // Our end stays open until the receiver has exited: after its last ACK it
    // may still write, and must not die of a broken pipe before closing its file.
    reaper.add(pid, sv[0]);
    event("loader-cmd-started " + std::to_string(pid));
    return Relay(line, options, sv[0], event).run();
}

} // namespace sim
