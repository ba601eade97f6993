#include "sim/replay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>

#include "trace/TraceFormat.h"

namespace sim {
namespace {

constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint64_t kMaxTraceBytes = 256u << 20;

std::string describe(std::uint8_t b)
{
    char text[16];
    if (b >= 0x20 && b < 0x7F)
        std::snprintf(text, sizeof text, "%02X '%c'", b, b);
    else
        std::snprintf(text, sizeof text, "%02X", b);
    return text;
}

// The port whose sessions carried the most bytes from the program.
std::string busiest_port(const std::vector<trace::Event>& events)
{
    std::map<std::string, std::uint64_t> written;
    std::string open;
    for (const trace::Event& e : events) {
        if (e.kind == trace::EventKind::Open)
            open = e.code == 0 ? e.port : "";
        else if (e.kind == trace::EventKind::Close)
            open.clear();
        else if (e.kind == trace::EventKind::Wrote && !open.empty())
            written[open] += e.bytes.size();
    }
    std::string best;
    for (const auto& [port, count] : written)
        if (best.empty() || count > written[best])
            best = port;
    return best;
}

// Keeps the data of every packet the modem acknowledges, the way a loader
// stores them, so that an acknowledged EOT can hand over the image.
class ImageCollector {
public:
    void wrote(std::uint8_t b) { pending_ += static_cast<char>(b); }
    // The modem answers what was written since its last answer.
    void answered(const std::string& reply, const ReplayHooks& hooks)
    {
        if (!reply.empty() && static_cast<std::uint8_t>(reply[0]) == kAck) {
            if (pending_.size() == 1 && static_cast<std::uint8_t>(pending_[0]) == kEot) {
                if (hooks.image)
                    hooks.image(image_);
            } else {
                take_packet();
            }
        }
        pending_.clear();
    }

private:
    void take_packet()
    {
        for (std::size_t size : {1024u, 128u})
            for (std::size_t check : {2u, 1u}) {
                const std::size_t total = 3 + size + check;
                if (pending_.size() < total)
                    continue;
                const std::size_t at = pending_.size() - total;
                const auto head = static_cast<std::uint8_t>(pending_[at]);
                const auto number = static_cast<std::uint8_t>(pending_[at + 1]);
                if (head != (size == 1024 ? 0x02 : 0x01) ||
                    static_cast<std::uint8_t>(number + static_cast<std::uint8_t>(pending_[at + 2])) != 0xFF)
                    continue;
                if (number == last_number_)
                    image_.resize(image_.size() - last_size_); // sent again
                image_.insert(image_.end(), pending_.begin() + static_cast<std::ptrdiff_t>(at + 3),
                    pending_.begin() + static_cast<std::ptrdiff_t>(at + 3 + size));
                last_number_ = number;
                last_size_ = size;
                return;
            }
    }

    std::string pending_;
    std::vector<std::uint8_t> image_;
    int last_number_ = -1;
    std::size_t last_size_ = 0;
};

} // namespace

std::int64_t replay_lead_us(std::int64_t delay_us)
{
    // Three quarters early: a reply read after a command's 400 ms pause goes
    // out 100 ms after the command, leaving 300 ms for a loaded machine to
    // deliver it. Early is safe: what the program wrote first is always
    // waited for, and a byte that came later than a wait gave up on it was
    // never read, so it is not in the trace.
    return delay_us - delay_us / 4;
}

bool load_replay(const std::string& path, ReplayScript& out, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char buf[65536];
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxTraceBytes) {
            *error = path + ": larger than any trace of an upgrade";
            return false;
        }
    }
    if (in.bad()) {
        *error = path + ": cannot be read";
        return false;
    }
    std::vector<trace::Event> events;
    std::string why;
    if (!trace::ParseTrace(text, events, why)) {
        *error = path + ": " + why;
        return false;
    }
    out = ReplayScript{};
    out.port = busiest_port(events);
    if (out.port.empty()) {
        *error = path + ": the program wrote nothing to any port in this trace";
        return false;
    }
    std::string open;
    for (const trace::Event& e : events) {
        if (e.kind == trace::EventKind::Open)
            open = e.code == 0 ? e.port : "";
        else if (e.kind == trace::EventKind::Close)
            open.clear();
        if (open != out.port)
            continue;
        ReplayStep* last = out.steps.empty() ? nullptr : &out.steps.back();
        if (e.kind == trace::EventKind::Wrote) {
            if (!last || last->kind != ReplayStep::Kind::Expect)
                last = &out.steps.emplace_back();
            last->lines.emplace_back(last->bytes.size(), e.lineNumber);
            last->bytes += e.bytes;
            last->us = e.us;
            out.expected_bytes += e.bytes.size();
        } else if (e.kind == trace::EventKind::Read) {
            // One read of many bytes spans several lines of the same time.
            if (!last || last->kind != ReplayStep::Kind::Send || last->us != e.us) {
                last = &out.steps.emplace_back();
                last->kind = ReplayStep::Kind::Send;
                last->us = e.us;
            }
            last->bytes += e.bytes;
        } else if (e.kind == trace::EventKind::PortError &&
            (e.text == "read" || e.text == "status" || e.text == "write")) {
            // The line went dead; nothing after it can be played.
            ReplayStep& hang = out.steps.emplace_back();
            hang.kind = ReplayStep::Kind::HangUp;
            hang.us = e.us;
            break;
        }
    }
    return true;
}

ReplayEnd run_replay(Line& line, const ReplayScript& script, const ReplayHooks& hooks)
{
    auto event = [&hooks](const std::string& text) {
        if (hooks.event)
            hooks.event(text);
    };
    event("replay-port " + script.port + " " + std::to_string(script.expected_bytes) + " bytes expected");
    ImageCollector image;
    std::uint64_t offset = 0; // bytes of the program's checked so far
    int line_number = 0; // trace line of the byte expected next
    TimePoint anchor = Clock::now();
    std::int64_t anchor_us = 0;
    bool anchored = false;
    auto stopped = [&](Io io) {
        if (io == Io::Closed)
            return ReplayEnd::Closed;
        event("replay-stopped at byte " + std::to_string(offset) + " of " + std::to_string(script.expected_bytes) +
            " (trace line " + std::to_string(line_number) + ")");
        return ReplayEnd::Stopped;
    };
    for (const ReplayStep& step : script.steps) {
        if (step.kind == ReplayStep::Kind::Expect) {
            auto next_line = step.lines.begin();
            for (std::size_t i = 0; i < step.bytes.size(); ++i, ++offset) {
                while (next_line != step.lines.end() && next_line->first <= i)
                    line_number = (next_line++)->second;
                std::uint8_t b = 0;
                const Io io = line.read(b, kNever);
                if (io != Io::Ok)
                    return stopped(io);
                if (hooks.received)
                    hooks.received(b);
                const auto want = static_cast<std::uint8_t>(step.bytes[i]);
                if (b != want) {
                    event("replay-mismatch at byte " + std::to_string(offset) + " (trace line " +
                        std::to_string(line_number) + "): expected " + describe(want) + ", came " + describe(b));
                    line.hang_up("replay mismatch");
                    return ReplayEnd::Mismatch;
                }
                image.wrote(b);
            }
            anchor = Clock::now();
            anchor_us = step.us;
            anchored = true;
            continue;
        }
        // The modem's turn: as long after the program's last step as recorded.
        if (anchored) {
            const std::int64_t delay = std::max<std::int64_t>(0, step.us - anchor_us);
            const Io io = line.pause_until(anchor + std::chrono::microseconds(delay - replay_lead_us(delay)));
            if (io != Io::Ok)
                return stopped(io);
        }
        if (step.kind == ReplayStep::Kind::HangUp) {
            event("replay-complete, hanging up as recorded");
            line.hang_up("as recorded");
            return ReplayEnd::Completed;
        }
        const Io io = line.write(step.bytes);
        if (io != Io::Ok)
            return stopped(io);
        image.answered(step.bytes, hooks);
        anchor = Clock::now();
        anchor_us = step.us;
        anchored = true;
    }
    event("replay-complete");
    // Anything more the program writes is not in the trace.
    for (;;) {
        std::uint8_t b = 0;
        const Io io = line.read(b, kNever);
        if (io == Io::Closed)
            return ReplayEnd::Closed;
        if (io != Io::Ok)
            return ReplayEnd::Completed;
        if (hooks.received)
            hooks.received(b);
        event("replay-mismatch at byte " + std::to_string(offset) + ": the trace has ended, came " + describe(b));
        line.hang_up("replay mismatch");
        return ReplayEnd::Mismatch;
    }
}

} // namespace sim
