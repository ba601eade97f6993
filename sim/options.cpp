#include "sim/options.h"

#include "sim/flags.h"

#include <charconv>
#include <filesystem>
#include <functional>
#include <limits>

namespace sim {
namespace {

bool parse_int(std::string_view text, int min, int max, int& out)
{
    return parse_number<int>(text, min, max, out);
}

bool parse_text(std::string_view text, std::string& out)
{
    auto decoded = unescape(text);
    if (!decoded)
        return false;
    out = std::move(*decoded);
    return true;
}

bool parse_start(std::string_view text, std::uint8_t& out)
{
    if (text == "c")
        out = kStartCrc;
    else if (text == "nak")
        out = kStartNak;
    else if (text == "ff")
        out = kStartFf;
    else
        return false;
    return true;
}

bool parse_stage(std::string_view text, Options& o)
{
    if (text == "discovery")
        o.hangup_stage = HangupStage::Discovery;
    else if (text == "start")
        o.hangup_stage = HangupStage::Start;
    else if (text == "eot")
        o.hangup_stage = HangupStage::Eot;
    else if (text.starts_with("packet:")) {
        if (!parse_int(text.substr(7), 1, std::numeric_limits<int>::max(), o.hangup_packet))
            return false;
        o.hangup_stage = HangupStage::Packet;
    } else {
        return false;
    }
    return true;
}

constexpr int kMaxInt = std::numeric_limits<int>::max();

using Flag = sim::Flag<Options>;

const std::vector<Flag>& flags()
{
    using O = Options;
    using V = std::string_view;
    static const std::vector<Flag> table = {
        {"link", "PATH", "make PATH a symlink to the pty slave (replaces a symlink; removed on exit)",
            [](O& o, V v) {
                o.link_path = v;
                return !v.empty();
            }},
        {"log", "FILE", "append every byte received in command mode to FILE, raw",
            [](O& o, V v) {
                o.log_path = v;
                return !v.empty();
            }},
        {"line-rate", "BAUD", "pace both directions like an 8N1 line at BAUD (0 = unpaced)",
            [](O& o, V v) { return parse_number<long>(v, 0, 100'000'000, o.line_rate); }},
        {"reply-latency", "MS",
            "hold what goes to the program as a USB adapter with a latency timer of MS does: until 62 "
            "bytes have gathered or the timer, restarted at each send, runs out (0 = off, the default)",
            [](O& o, V v) { return parse_int(v, 0, 255, o.reply_latency_ms); }},
        {"country", "N", "country code reported by ATI5 (default 22)",
            [](O& o, V v) { return parse_int(v, 0, 9999, o.country); }},
        {"ati3", "TEXT", "ATI3 reply text (default V2.301-V90_2M_DLP)",
            [](O& o, V v) { return parse_text(v, o.ati3); }},
        {"ati119", "TEXT", "ATI119 reply text (default DRAVIK 56K RevC)",
            [](O& o, V v) { return parse_text(v, o.ati119); }},
        {"ati5", "TEXT", "fault: ATI5 answers TEXT instead of the country code",
            [](O& o, V v) {
                std::string s;
                if (!parse_text(v, s))
                    return false;
                o.ati5_reply = s;
                return true;
            }},
        {"silent", nullptr, "fault: the port opens but nothing is ever answered or echoed",
            [](O& o, V) {
                o.silent = true;
                return true;
            }},
        {"no-ok", nullptr, "fault: replies come without the final OK",
            [](O& o, V) {
                o.no_ok = true;
                return true;
            }},
        {"restore-reply", "TEXT", "fault: raw reply to AT*NC<n>&F, escapes \\r \\n allowed",
            [](O& o, V v) {
                std::string s;
                if (!parse_text(v, s))
                    return false;
                o.restore_reply = s;
                return true;
            }},
        {"restore-no-ok", nullptr, "fault: AT*NC<n>&F answers nothing",
            [](O& o, V) {
                o.restore_no_ok = true;
                return true;
            }},
        {"image-out", "FILE", "write the received image to FILE when EOT arrives",
            [](O& o, V v) {
                o.image_out = v;
                return !v.empty();
            }},
        {"start", "c|nak|ff", "loader start character: C (CRC), NAK (checksum) or 0xFF (CRC); default c",
            [](O& o, V v) { return parse_start(v, o.start_char); }},
        {"start-repeat", nullptr, "resend the start character after each quiet second, at most 10 times",
            [](O& o, V) {
                o.start_repeat = true;
                return true;
            }},
        {"start-delay", "MS", "pause between AT~D1 and the start character (default 80)",
            [](O& o, V v) { return parse_int(v, 0, 60'000, o.start_delay_ms); }},
        {"loader-silent", nullptr, "fault: after AT~D1 the loader never sends anything",
            [](O& o, V) {
                o.loader_silent = true;
                return true;
            }},
        {"stray-before-start", "N", "fault: send N stray 'x' bytes before the start character",
            [](O& o, V v) { return parse_int(v, 0, 100'000, o.stray_before_start); }},
        {"stray-interval", "MS", "gap between stray bytes (default 250; 0 = all at once)",
            [](O& o, V v) { return parse_int(v, 0, 60'000, o.stray_interval_ms); }},
        {"nak-packet", "K", "fault: NAK packet K (1-based) before accepting it",
            [](O& o, V v) { return parse_int(v, 1, kMaxInt, o.nak_packet); }},
        {"nak-count", "N", "how many times --nak-packet NAKs (default 1)",
            [](O& o, V v) { return parse_int(v, 0, kMaxInt, o.nak_count); }},
        {"can-packet", "K", "fault: answer packet K with CAN and leave the loader",
            [](O& o, V v) { return parse_int(v, 1, kMaxInt, o.can_packet); }},
        {"garbage-packet", "K", "fault: answer packet K once with '?'",
            [](O& o, V v) { return parse_int(v, 1, kMaxInt, o.garbage_packet); }},
        {"silent-packet", "K", "fault: no reply to packet K, and nothing after it",
            [](O& o, V v) { return parse_int(v, 1, kMaxInt, o.silent_packet); }},
        {"no-eot-ack", nullptr, "fault: EOT is never acknowledged, the loader goes quiet",
            [](O& o, V) {
                o.no_eot_ack = true;
                return true;
            }},
        {"noise", "P", "fault: flip one random bit of each byte the loader receives with chance P",
            [](O& o, V v) { return parse_number<double>(v, 0.0, 1.0, o.noise); }},
        {"noise-both", nullptr, "with --noise, corrupt the loader's own replies too",
            [](O& o, V) {
                o.noise_both = true;
                return true;
            }},
        {"seed", "S", "seed of the noise generator (default 1)",
            [](O& o, V v) {
                return parse_number<std::uint64_t>(v, 0, std::numeric_limits<std::uint64_t>::max(), o.seed);
            }},
        {"timing", nullptr,
            "report every packet header's arrival and every loader reply's departure, with the "
            "steady clock in microseconds (header T, reply HEX T, eot-acked T)",
            [](O& o, V) {
                o.timing = true;
                return true;
            }},
        {"hangup-at", "STAGE", "fault: close the line at discovery|start|packet:K|eot",
            [](O& o, V v) { return parse_stage(v, o); }},
        {"hangup-after-bytes", "N", "fault: close the line once N bytes have been received",
            [](O& o, V v) {
                return parse_number<std::uint64_t>(
                    v, 1, std::numeric_limits<std::uint64_t>::max(), o.hangup_after_bytes);
            }},
        {"loader-cmd", "CMD", "at AT~D1 run CMD (via /bin/sh -c) as the receiver and relay to it",
            [](O& o, V v) {
                o.loader_cmd = v;
                return !v.empty();
            }},
        {"loader-dir", "DIR", "working directory of --loader-cmd (default: folder of --image-out, or .)",
            [](O& o, V v) {
                o.loader_dir = v;
                return !v.empty();
            }},
        {"replay", "FILE",
            "play the modem of the trace FILE (quilvex --trace): wait for what the program wrote there, "
            "answer what it read, after the recorded delays; report the first byte that differs. "
            "Goes with --link, --log and --image-out only",
            [](O& o, V v) {
                o.replay_path = v;
                return !v.empty();
            }},
        {"help", nullptr, "show this text", [](O&, V) { return true; }},
    };
    return table;
}

} // namespace

std::optional<std::string> unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case 'r':
            out += '\r';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x': {
            unsigned value = 0;
            if (text.size() - i < 3)
                return std::nullopt;
            const char* hex = text.data() + i + 1;
            auto [ptr, ec] = std::from_chars(hex, hex + 2, value, 16);
            if (ec != std::errc() || ptr != hex + 2)
                return std::nullopt;
            out += static_cast<char>(value);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::string usage_text()
{
    return flag_usage(flags(),
        "Usage: quilvex-modem-sim [FLAGS]\n"
        "Simulates a telephone modem and its download loader on a pseudo-terminal.\n"
        "Prints the slave device path on the first line of stdout, then one line per event.\n\n");
}

ParsedArgs parse_args(const std::vector<std::string>& args)
{
    ParsedArgs result;
    result.error = parse_flags(flags(), args, result.options, result.help);
    if (!result.error.empty())
        return result;
    Options& o = result.options;
    if (!o.replay_path.empty()) {
        // The recorded modem has its own faults and timing; only the port and
        // what is kept of the traffic go with it.
        for (const std::string& arg : args) {
            if (!arg.starts_with("--"))
                continue;
            const std::string name =
                arg.substr(2, arg.find('=') == std::string::npos ? std::string::npos : arg.find('=') - 2);
            if (name != "replay" && name != "link" && name != "log" && name != "image-out" && name != "help") {
                result.error = "--" + name + " does not go with --replay";
                return result;
            }
        }
    }
    if (o.loader_dir.empty()) {
        const auto parent = std::filesystem::path(o.image_out).parent_path();
        o.loader_dir = parent.empty() ? "." : parent.string();
    }
    return result;
}

} // namespace sim
