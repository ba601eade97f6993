// The simulator's end of the serial line: the pty master with pacing, noise
// and hang-up, read and written against deadlines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sim/clock.h"

namespace sim {

// Outcome of a line operation.
enum class Io {
    Ok, // done
    Timeout, // the deadline passed first
    Stopped, // the simulator was asked to stop
    Closed, // the line has been hung up
};

struct LineConfig {
    long baud = 0; // 0 = as fast as possible
    double noise = 0.0; // chance of one flipped bit per byte
    std::uint64_t seed = 1;
    std::uint64_t hangup_after_bytes = 0; // 0 = never
    int reply_latency_ms = 0; // AdapterHold on bytes sent, 0 = none
};

// Keeps a byte stream at the pace of an 8N1 line: byte n of a burst may
// cross at epoch + n byte-times; a gap resets the epoch.
class Pacer {
public:
    explicit Pacer(long baud);
    bool enabled() const { return baud_ > 0; }
    // Bytes moved per step, about 10 ms worth.
    std::size_t chunk() const { return chunk_; }
    // Books `count` bytes and returns when the last of them has crossed.
    // `fresh`: they came onto an idle line just now (the reader had found
    // nothing queued), so they cannot have crossed any sooner than now plus
    // their own time; otherwise they may join the burst in progress.
    TimePoint book(std::size_t count, bool fresh = false);

private:
    long baud_;
    std::size_t chunk_;
    TimePoint epoch_{};
    std::uint64_t booked_ = 0;
};

// The receiving side of a USB serial adapter between the modem and the
// program: the chip holds the bytes it gets from the line until a USB
// packet's worth (62) has gathered, or until its latency timer runs out.
// The timer runs freely, restarting whenever the chip sends (and it sends,
// empty if need be, each time the timer runs out), so a lone byte waits
// anything from nothing to the full latency: 16 ms by default, half that on
// average. Only the gathering and the timer are modelled, not the USB
// polling under them.
class AdapterHold {
public:
    static constexpr std::size_t kPacket = 62;
    // `latency` zero: nothing is held. The timer starts at `start`.
    AdapterHold(Millis latency, TimePoint start) : latency_(latency), timer_start_(start) { }
    bool enabled() const { return latency_.count() > 0; }
    // `count` bytes reached the chip at `now` (no earlier than the last
    // call's); returns when the last of them goes on to the program.
    TimePoint pass(std::size_t count, TimePoint now);

private:
    Millis latency_;
    TimePoint timer_start_;
    TimePoint due_{}; // when the bytes held go
    std::size_t held_ = 0;
};

class Line {
public:
    // Takes ownership of both pty descriptors (master non-blocking). `stop_fd`
    // is only watched: once it is readable every call returns Io::Stopped.
    Line(int master_fd, int slave_fd, int stop_fd, const LineConfig& config);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // Reads one byte into `out`; Ok, or Timeout/Stopped/Closed with `out` untouched.
    Io read(std::uint8_t& out, TimePoint deadline);

    // Waits until bytes are buffered or `other_fd` (may be -1) is readable.
    // Ok: check buffered() and *other_ready. Timeout/Stopped/Closed otherwise.
    Io wait(TimePoint deadline, int other_fd, bool* other_ready);

    // When the latest received bytes came off the pty (before pacing).
    TimePoint last_arrival() const { return last_arrival_; }

    // Number of received bytes waiting in the buffer.
    std::size_t buffered() const { return buffer_.size() - head_; }

    // Moves up to `max` buffered bytes into `out`; returns how many.
    std::size_t take(std::uint8_t* out, std::size_t max);

    // Sends `bytes` at the line's pace. Timeout: the far end stopped draining
    // for 5 s and the rest was dropped. Stopped/Closed: the rest was dropped.
    Io write(std::string_view bytes);
    Io write_byte(std::uint8_t byte);

    // Reads and drops bytes until none came for `quiet`. Ok once quiet;
    // Timeout if still busy at `limit`.
    Io discard_until_quiet(Millis quiet, TimePoint limit);

    // Reads and drops bytes until `until`. Ok when it came.
    Io discard_until(TimePoint until);

    // Sleeps without reading. Ok when `until` came, Stopped if asked to stop.
    Io pause_until(TimePoint until);

    // Closes master and our slave so the other side's reads and writes fail.
    // Safe to repeat; `reason` is kept for reporting.
    void hang_up(std::string reason);
    bool closed() const { return master_ < 0; }
    const std::string& hangup_reason() const { return hangup_reason_; }

    // Whether an adapter's latency timer holds what is sent, and how long it
    // has held it in all (each write counted from when it had crossed the line).
    bool holds_replies() const { return tx_hold_.enabled(); }
    Clock::duration held_total() const { return held_total_; }

    // Turns noise on or off for received and for sent bytes.
    void set_noise(bool inbound, bool outbound);

private:
    Io fill(TimePoint deadline, int other_fd, bool* other_ready);
    bool stop_requested() const;
    std::uint8_t disturb(std::uint8_t byte);

    int master_;
    int slave_;
    int stop_fd_;
    LineConfig config_;
    Pacer rx_pace_;
    Pacer tx_pace_;
    AdapterHold tx_hold_;
    Clock::duration held_total_{};
    std::vector<std::uint8_t> buffer_;
    std::size_t head_ = 0;
    std::uint64_t received_ = 0;
    TimePoint last_arrival_{};
    bool noise_in_ = false;
    bool noise_out_ = false;
    std::mt19937_64 rng_;
    std::string hangup_reason_;
};

} // namespace sim
