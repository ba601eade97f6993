#include "sim/loader.h"

#include <optional>

#include "sim/crc.h"

namespace sim {
namespace {

using namespace ctl;
using std::chrono::seconds;

constexpr Millis kByteTimeout{1000}; // gap allowed inside a packet
constexpr Millis kQuiet{40}; // line quiet = rest of a bad packet is gone
constexpr seconds kFirstPacketWait{11}; // then give up and go back to command mode
constexpr seconds kHeaderTimeout{5}; // between packets, then NAK
constexpr Millis kRepeatQuiet{1000}; // --start-repeat: resend after this much quiet
constexpr int kMaxRepeats = 10;
constexpr int kMaxErrors = 10; // in a row, then cancel
constexpr std::size_t kMaxImage = 16u << 20;

using Step = std::optional<LoaderEnd>; // nullopt: keep receiving

LoaderEnd ended(Io io)
{
    return io == Io::Stopped ? LoaderEnd::Stopped : LoaderEnd::Closed;
}

// A --timing stamp: the steady clock in microseconds.
std::string stamp(TimePoint at)
{
    return std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(at.time_since_epoch()).count());
}

class Receiver {
public:
    Receiver(Line& line, const Options& options, const LoaderHooks& hooks)
        : line_(line), opt_(options), hooks_(hooks), crc_(options.start_char != kStartNak),
          held_before_(line.held_total())
    {
    }

    LoaderEnd run();

private:
    Step announce();
    Step packet(std::uint8_t header);
    Step fresh_packet(const std::uint8_t* data, std::size_t size);
    Step eot();
    Step reject(const std::string& why, bool purge);
    Step abort(const std::string& why, bool cancel);
    Step send(std::uint8_t byte);
    Step silence(const std::string& why);

    Line& line_;
    const Options& opt_;
    const LoaderHooks& hooks_;
    const bool crc_;
    const Clock::duration held_before_; // replies held in command mode
    bool started_ = false; // a packet header has been seen
    int accepted_ = 0; // packets stored
    int errors_ = 0; // bad or missing packets in a row
    int naks_sent_ = 0; // by --nak-packet
    int rejected_ = 0; // bad packets NAKed, for the stats line
    int repeats_ = 0; // packets received twice
    bool garbage_sent_ = false;
    std::vector<std::uint8_t> image_;
    std::vector<std::uint8_t> packet_;
};

Step Receiver::send(std::uint8_t byte)
{
    const Io io = line_.write_byte(byte);
    if (io == Io::Stopped || io == Io::Closed)
        return ended(io);
    if (opt_.timing) {
        static const char kHex[] = "0123456789abcdef";
        hooks_.event(std::string("reply ") + kHex[byte >> 4] + kHex[byte & 15] + " " + stamp(Clock::now()));
    }
    return std::nullopt;
}

Step Receiver::silence(const std::string& why)
{
    hooks_.event("loader-silent " + why);
    return ended(line_.discard_until(kNever));
}

Step Receiver::abort(const std::string& why, bool cancel)
{
    if (cancel) {
        if (auto end = send(CAN))
            return end;
        if (auto end = send(CAN))
            return end;
    }
    hooks_.event("loader-abort " + why);
    return LoaderEnd::Aborted;
}

Step Receiver::reject(const std::string& why, bool purge)
{
    if (purge) {
        const Io io = line_.discard_until_quiet(kQuiet, after(kHeaderTimeout));
        if (io == Io::Stopped || io == Io::Closed)
            return ended(io);
    }
    ++rejected_;
    if (++errors_ >= kMaxErrors)
        return abort("too-many-errors (last: " + why + ")", true);
    return send(NAK);
}

Step Receiver::announce()
{
    // The LF ending the AT~D1 line, and anything else early, is dropped here.
    Io io = line_.discard_until(after(Millis(opt_.start_delay_ms)));
    if (io != Io::Ok)
        return ended(io);
    if (opt_.loader_silent)
        return silence("start");
    for (int i = 0; i < opt_.stray_before_start; ++i) {
        if (auto end = send('x'))
            return end;
        if (opt_.stray_interval_ms > 0) {
            io = line_.discard_until(after(Millis(opt_.stray_interval_ms)));
            if (io != Io::Ok)
                return ended(io);
        }
    }
    return send(opt_.start_char);
}

Step Receiver::packet(std::uint8_t header)
{
    started_ = true;
    const int index = accepted_ + 1;
    if (opt_.hangup_stage == HangupStage::Packet && index == opt_.hangup_packet) {
        line_.hang_up("packet:" + std::to_string(index));
        return LoaderEnd::Closed;
    }
    const std::size_t size = header == SOH ? 128 : 1024;
    packet_.resize(2 + size + (crc_ ? 2 : 1));
    for (auto& byte : packet_) {
        const Io io = line_.read(byte, after(kByteTimeout));
        if (io == Io::Timeout)
            return reject("short packet", false);
        if (io != Io::Ok)
            return ended(io);
    }
    const std::uint8_t number = packet_[0];
    const std::uint8_t* data = packet_.data() + 2;
    const std::uint8_t* check = data + size;
    const bool check_ok = crc_ ? crc16(data, size) == ((check[0] << 8) | check[1]) : checksum8(data, size) == check[0];
    if ((number ^ packet_[1]) != 0xFF || !check_ok)
        return reject("bad packet", true);
    if (number == static_cast<std::uint8_t>(accepted_ + 1))
        return fresh_packet(data, size);
    if (accepted_ > 0 && number == static_cast<std::uint8_t>(accepted_)) {
        errors_ = 0;
        ++repeats_;
        return send(ACK); // our ACK got lost; the data is stored already
    }
    return abort("sequence-error", true);
}

Step Receiver::fresh_packet(const std::uint8_t* data, std::size_t size)
{
    const int index = accepted_ + 1;
    if (opt_.silent_packet == index)
        return silence("packet:" + std::to_string(index));
    if (opt_.can_packet == index) {
        if (auto end = send(CAN))
            return end;
        hooks_.event("loader-abort can-packet:" + std::to_string(index));
        return LoaderEnd::Aborted;
    }
    if (opt_.garbage_packet == index && !garbage_sent_) {
        garbage_sent_ = true;
        return send('?');
    }
    if (opt_.nak_packet == index && naks_sent_ < opt_.nak_count) {
        ++naks_sent_;
        return send(NAK);
    }
    if (image_.size() + size > kMaxImage)
        return abort("image-too-large", true);
    image_.insert(image_.end(), data, data + size);
    ++accepted_;
    errors_ = 0;
    return send(ACK);
}

Step Receiver::eot()
{
    if (opt_.hangup_stage == HangupStage::Eot) {
        line_.hang_up("eot");
        return LoaderEnd::Closed;
    }
    if (opt_.no_eot_ack)
        return silence("eot");
    hooks_.event("loader-stats packets=" + std::to_string(accepted_) + " rejected=" + std::to_string(rejected_) +
        " repeats=" + std::to_string(repeats_) +
        (line_.holds_replies() ? " held-ms=" +
                    std::to_string(std::chrono::duration_cast<Millis>(line_.held_total() - held_before_).count())
                               : ""));
    if (hooks_.image)
        hooks_.image(image_);
    if (auto end = send(ACK))
        return end;
    if (opt_.timing)
        hooks_.event("eot-acked " + stamp(Clock::now()));
    return LoaderEnd::Finished;
}

LoaderEnd Receiver::run()
{
    if (auto end = announce())
        return *end;
    const TimePoint first_deadline = after(kFirstPacketWait);
    TimePoint quiet_deadline = after(kRepeatQuiet);
    int repeats = 0;
    for (;;) {
        const bool first = !started_;
        TimePoint deadline = first ? first_deadline : after(kHeaderTimeout);
        if (first && opt_.start_repeat)
            deadline = std::min(deadline, quiet_deadline);
        std::uint8_t byte = 0;
        // A byte read from the buffer came with the bytes before it.
        const TimePoint buffered_at = line_.buffered() > 0 ? line_.last_arrival() : TimePoint{};
        const Io io = line_.read(byte, deadline);
        if (io == Io::Stopped || io == Io::Closed)
            return ended(io);
        Step end;
        if (io == Io::Timeout) {
            if (!first) {
                end = reject("no packet", false);
            } else if (Clock::now() >= first_deadline) {
                end = abort("no-first-packet", false);
            } else {
                // Only a quiet line gets a second start character: one sent while a
                // packet is on its way would read as the reply to that packet.
                if (repeats++ < kMaxRepeats)
                    end = send(opt_.start_char);
                quiet_deadline = after(kRepeatQuiet);
            }
        } else if (byte == SOH || byte == STX) {
            if (opt_.timing)
                hooks_.event("header " + stamp(buffered_at != TimePoint{} ? buffered_at : line_.last_arrival()));
            end = packet(byte);
        } else if (byte == EOT) {
            end = eot();
        } else if (byte == CAN) {
            end = abort("sender-cancelled", false);
        } else if (first) {
            quiet_deadline = after(kRepeatQuiet); // stray byte before the transfer: ignore
        } else {
            end = reject("unexpected byte", true);
        }
        if (end)
            return *end;
    }
}

} // namespace

LoaderEnd run_loader(Line& line, const Options& options, const LoaderHooks& hooks)
{
    return Receiver(line, options, hooks).run();
}

} // namespace sim
