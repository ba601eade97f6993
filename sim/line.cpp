#include "sim/line.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {
namespace {

constexpr std::size_t kUnpacedChunk = 4096;
constexpr auto kStallLimit = std::chrono::seconds(5); // far end not draining our output
constexpr auto kNoSlaveNap = Millis(50); // master reads EIO: nobody on the slave

} // namespace

Pacer::Pacer(long baud) : baud_(baud), chunk_(baud > 0 ? std::max<std::size_t>(1, baud / 1000) : kUnpacedChunk)
{
}

TimePoint Pacer::book(std::size_t count, bool fresh)
{
    // 10 bits per byte: n bytes take n * 10 / baud seconds.
    auto span = [this](std::uint64_t n) {
        return std::chrono::nanoseconds(n * 10'000'000'000ULL / static_cast<std::uint64_t>(baud_));
    };
    const auto now = Clock::now();
    const Clock::duration slack = std::max<Clock::duration>(Millis(20), span(2 * chunk_));
    const TimePoint burst_end = epoch_ + span(booked_);
    if (booked_ == 0 || now > burst_end + slack || (fresh && now > burst_end)) {
        epoch_ = now; // the line was idle: a new burst starts now
        booked_ = 0;
    } else if (booked_ > 1'000'000) {
        epoch_ += span(booked_); // keep the arithmetic far from overflow
        booked_ = 0;
    }
    booked_ += count;
    return epoch_ + span(booked_);
}

TimePoint AdapterHold::pass(std::size_t count, TimePoint now)
{
    if (!enabled())
        return now;
    if (held_ > 0 && now >= due_) { // the bytes held went at due_
        timer_start_ = due_;
        held_ = 0;
    }
    if (held_ == 0) { // the timer's next expiry after now
        const auto expired = (now - timer_start_) / latency_;
        due_ = timer_start_ + (expired + 1) * latency_;
    }
    held_ += count;
    if (held_ < kPacket)
        return due_;
    // A full packet goes at once, and the timer starts again.
    held_ %= kPacket;
    timer_start_ = now;
    due_ = now + latency_;
    return held_ > 0 ? due_ : now;
}

Line::Line(int master_fd, int slave_fd, int stop_fd, const LineConfig& config)
    : master_(master_fd), slave_(slave_fd), stop_fd_(stop_fd), config_(config), rx_pace_(config.baud),
      tx_pace_(config.baud), tx_hold_(Millis(config.reply_latency_ms), Clock::now()), rng_(config.seed)
{
}

Line::~Line()
{
    hang_up("shutdown");
}

void Line::hang_up(std::string reason)
{
    if (master_ < 0)
        return;
    ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
    hangup_reason_ = std::move(reason);
    buffer_.clear();
    head_ = 0;
}

void Line::set_noise(bool inbound, bool outbound)
{
    noise_in_ = inbound && config_.noise > 0;
    noise_out_ = outbound && config_.noise > 0;
}

std::uint8_t Line::disturb(std::uint8_t byte)
{
    const double draw = static_cast<double>(rng_() >> 11) * 0x1.0p-53;
    if (draw < config_.noise)
        byte ^= static_cast<std::uint8_t>(1u << (rng_() % 8));
    return byte;
}

bool Line::stop_requested() const
{
    pollfd fd{stop_fd_, POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0;
}

Io Line::pause_until(TimePoint until)
{
    for (;;) {
        // To the microsecond: a byte takes 87 us at 115200 bit/s, and a pause
        // rounded up to whole milliseconds would slow every reply down.
        const auto left = std::max<Clock::duration>(until - Clock::now(), Clock::duration::zero());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        const timespec span{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
        pollfd fd{stop_fd_, POLLIN, 0};
        const int n = ::ppoll(&fd, 1, until == kNever ? nullptr : &span, nullptr);
        if (n > 0)
            return Io::Stopped;
        if (n < 0 && errno != EINTR) {
            hang_up(std::string("poll: ") + std::strerror(errno));
            return Io::Closed;
        }
        if (Clock::now() >= until)
            return Io::Ok;
    }
}

Io Line::fill(TimePoint deadline, int other_fd, bool* other_ready)
{
    for (;;) {
        if (closed())
            return Io::Closed;
        // Bytes found already queued may belong to the burst being paced; bytes
        // that have to be waited for start a burst of their own when they come.
        pollfd queued{master_, POLLIN, 0};
        const bool fresh = ::poll(&queued, 1, 0) == 0;
        pollfd fds[3] = {{stop_fd_, POLLIN, 0}, {master_, POLLIN, 0}, {other_fd, POLLIN, 0}};
        const int n = ::poll(fds, other_fd >= 0 ? 3 : 2, poll_timeout(deadline));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            hang_up(std::string("poll: ") + std::strerror(errno));
            return Io::Closed;
        }
        if (fds[0].revents)
            return Io::Stopped;
        if (n == 0) {
            if (Clock::now() >= deadline)
                return Io::Timeout;
            continue;
        }
        const bool other = other_fd >= 0 && fds[2].revents != 0;
        if (other_ready)
            *other_ready = other;
        bool got = false;
        if (fds[1].revents & POLLNVAL) {
            hang_up("master descriptor invalid");
            return Io::Closed;
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            std::uint8_t chunk[kUnpacedChunk];
            std::size_t want = std::min(rx_pace_.chunk(), sizeof chunk);
            if (config_.hangup_after_bytes)
                want = std::min<std::uint64_t>(want, config_.hangup_after_bytes - received_);
            const ssize_t r = ::read(master_, chunk, want);
            if (r > 0) {
                last_arrival_ = Clock::now();
                received_ += static_cast<std::uint64_t>(r);
                if (config_.hangup_after_bytes && received_ >= config_.hangup_after_bytes) {
                    hang_up("after " + std::to_string(received_) + " bytes");
                    return Io::Closed;
                }
                if (rx_pace_.enabled()) {
                    const Io paced = pause_until(rx_pace_.book(static_cast<std::size_t>(r), fresh));
                    if (paced != Io::Ok)
                        return paced;
                }
                if (head_ == buffer_.size()) {
                    buffer_.clear();
                    head_ = 0;
                }
                for (ssize_t i = 0; i < r; ++i)
                    buffer_.push_back(noise_in_ ? disturb(chunk[i]) : chunk[i]);
                got = true;
            } else if (r == 0 || (errno != EINTR && errno != EAGAIN)) {
                // Nobody holds the slave open (EIO): wait instead of spinning.
                const Io napped = pause_until(std::min(deadline, after(kNoSlaveNap)));
                if (napped != Io::Ok)
                    return napped;
                if (!other && Clock::now() >= deadline)
                    return Io::Timeout;
            }
        }
        if (got || other)
            return Io::Ok;
    }
}

Io Line::read(std::uint8_t& out, TimePoint deadline)
{
    while (buffered() == 0) {
        const Io r = fill(deadline, -1, nullptr);
        if (r != Io::Ok)
            return r;
    }
    out = buffer_[head_++];
    return Io::Ok;
}

Io Line::wait(TimePoint deadline, int other_fd, bool* other_ready)
{
    *other_ready = false;
    if (closed())
        return Io::Closed;
    if (stop_requested())
        return Io::Stopped;
    if (buffered() > 0) {
        pollfd fd{other_fd, POLLIN, 0};
        *other_ready = other_fd >= 0 && ::poll(&fd, 1, 0) > 0;
        return Io::Ok;
    }
    return fill(deadline, other_fd, other_ready);
}

std::size_t Line::take(std::uint8_t* out, std::size_t max)
{
    const std::size_t n = std::min(max, buffered());
    std::copy_n(buffer_.begin() + static_cast<std::ptrdiff_t>(head_), n, out);
    head_ += n;
    return n;
}

Io Line::write_byte(std::uint8_t byte)
{
    const char c = static_cast<char>(byte);
    return write(std::string_view(&c, 1));
}

Io Line::write(std::string_view bytes)
{
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        if (closed())
            return Io::Closed;
        if (stop_requested())
            return Io::Stopped;
        const std::size_t count = std::min({tx_pace_.chunk(), kUnpacedChunk, bytes.size() - offset});
        if (tx_pace_.enabled()) {
            const Io paced = pause_until(tx_pace_.book(count));
            if (paced != Io::Ok)
                return paced;
        }
        if (tx_hold_.enabled()) {
            const TimePoint crossed = Clock::now(), goes = tx_hold_.pass(count, crossed);
            held_total_ += goes - crossed;
            const Io held = pause_until(goes);
            if (held != Io::Ok)
                return held;
        }
        std::uint8_t chunk[kUnpacedChunk];
        for (std::size_t i = 0; i < count; ++i) {
            const auto b = static_cast<std::uint8_t>(bytes[offset + i]);
            chunk[i] = noise_out_ ? disturb(b) : b;
        }
        std::size_t done = 0;
        TimePoint stall_limit = after(kStallLimit);
        while (done < count) {
            const ssize_t w = ::write(master_, chunk + done, count - done);
            if (w > 0) {
                done += static_cast<std::size_t>(w);
                stall_limit = after(kStallLimit);
                continue;
            }
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0 && errno != EAGAIN) {
                hang_up(std::string("write: ") + std::strerror(errno));
                return Io::Closed;
            }
            pollfd fds[2] = {{stop_fd_, POLLIN, 0}, {master_, POLLOUT, 0}};
            const int n = ::poll(fds, 2, poll_timeout(stall_limit));
            if (n < 0 && errno != EINTR) {
                hang_up(std::string("poll: ") + std::strerror(errno));
                return Io::Closed;
            }
            if (n > 0 && fds[0].revents)
                return Io::Stopped;
            if (n == 0 && Clock::now() >= stall_limit)
                return Io::Timeout;
        }
        offset += count;
    }
    return Io::Ok;
}

Io Line::discard_until_quiet(Millis quiet, TimePoint limit)
{
    for (;;) {
        const TimePoint quiet_at = after(quiet);
        const TimePoint deadline = std::min(quiet_at, limit);
        std::uint8_t dropped;
        const Io r = read(dropped, deadline);
        if (r == Io::Timeout)
            return quiet_at <= limit ? Io::Ok : Io::Timeout;
        if (r != Io::Ok)
            return r;
    }
}

Io Line::discard_until(TimePoint until)
{
    for (;;) {
        std::uint8_t dropped;
        const Io r = read(dropped, until);
        if (r == Io::Timeout)
            return Io::Ok;
        if (r != Io::Ok)
            return r;
    }
}

} // namespace sim
