// Writing a trace's text (the format: TraceFormat.h).
#include "trace/TraceFormat.h"

#include <algorithm>
#include <cstdio>

namespace trace {

namespace {

constexpr uint8_t SOH = 0x01, STX = 0x02;
constexpr size_t kBytesPerLine = 64;
constexpr size_t kHexGroup = 8;
const char kHex[] = "0123456789ABCDEF";

void AppendTime(int64_t us, std::string& out)
{
    char buf[32];
    std::snprintf(
        buf, sizeof buf, "%lld.%06lld", static_cast<long long>(us / 1000000), static_cast<long long>(us % 1000000));
    out += buf;
}

// The name of a lone control byte worth naming, or null.
const char* ControlName(uint8_t b)
{
    switch (b) {
    case 0x04:
        return "EOT";
    case 0x06:
        return "ACK";
    case 0x15:
        return "NAK";
    case 0x18:
        return "CAN";
    default:
        return nullptr;
    }
}

// One line of bytes: time, direction, hex in groups of `group`, the
// printable column and a remark.
void AppendBytes(
    int64_t us, char dir, std::string_view bytes, size_t group, const std::string& remark, std::string& out)
{
    AppendTime(us, out);
    out += ' ';
    out += dir;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i % group == 0)
            out += ' ';
        auto b = static_cast<uint8_t>(bytes[i]);
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    out += " |";
    for (char c : bytes)
        out += c >= 0x20 && c < 0x7F ? c : '.';
    out += '|';
    if (!remark.empty()) {
        out += " ; ";
        out += remark;
    }
    out += '\n';
}

int64_t ByteTime(const Event& e, size_t i)
{
    return i < e.byteUs.size() ? e.byteUs[i] : e.us;
}

// Whether a whole packet (header, number, its complement, data and at
// least one check byte) starts at `i`.
bool PacketAt(std::string_view b, size_t i)
{
    if (i + 3 > b.size())
        return false;
    auto head = static_cast<uint8_t>(b[i]);
    if (head != SOH && head != STX)
        return false;
    size_t size = head == STX ? 1024 : 128;
    return b.size() - i >= 3 + size + 1 && static_cast<uint8_t>(b[i + 1] + b[i + 2]) == 0xFF;
}

} // namespace

std::string Quote(std::string_view text)
{
    std::string out = "\"";
    for (char ch : text) {
        auto c = static_cast<uint8_t>(ch);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                out += "\\x";
                out += kHex[c >> 4];
                out += kHex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

std::string FormatHeader(const Header& h)
{
    std::string out = "# Quilvex trace, format 1\n";
    out += "# program " + h.program + "\n";
    out += "# system " + h.system + "\n";
    out += "# began " + h.date + "\n";
    for (const std::string& c : h.com)
        out += "# port " + c + "\n";
    out += "# time in seconds since the trace began; > the program wrote, < the program read\n";
    return out;
}

void Formatter::AppendWrite(const Event& e, std::string& out)
{
    std::string_view b = e.bytes;
    size_t i = 0;
    while (i < b.size()) {
        if (PacketAt(b, i)) {
            auto number = static_cast<uint8_t>(b[i + 1]);
            bool again = number == m_lastNumber;
            if (!again)
                ++m_packets;
            m_lastNumber = number;
            size_t size = b[i] == STX ? 1024 : 128;
            std::string remark = "packet ";
            remark += std::to_string(m_packets);
            remark += again ? " again" : "";
            remark += size == 1024 ? ", STX" : ", SOH";
            AppendBytes(ByteTime(e, i), '>', b.substr(i, 3), 1, remark, out);
            i += 3;
            for (size_t end = i + size; i < end; i += kBytesPerLine)
                AppendBytes(ByteTime(e, i), '>', b.substr(i, kBytesPerLine), kHexGroup, "", out);
            size_t check = std::min<size_t>(2, b.size() - i);
            AppendBytes(ByteTime(e, i), '>', b.substr(i, check), 1, check == 2 ? "check, CRC-16" : "check, sum", out);
            i += check;
            continue;
        }
        size_t len = 1;
        while (len < kBytesPerLine && i + len < b.size() && !PacketAt(b, i + len))
            ++len;
        const char* name = len == 1 ? ControlName(static_cast<uint8_t>(b[i])) : nullptr;
        AppendBytes(ByteTime(e, i), '>', b.substr(i, len), kHexGroup, name ? name : "", out);
        i += len;
    }
}

void Formatter::Append(const Event& e, std::string& out)
{
    // One event line: time, tag, then the fields, each after a blank.
    auto line = [&](const char* tag, std::vector<std::string_view> fields) {
        AppendTime(e.us, out);
        out += ' ';
        out += tag;
        for (std::string_view f : fields) {
            out += ' ';
            out += f;
        }
        out += '\n';
    };
    // The same, ending in the call's result.
    const std::string code = std::to_string(e.code), error = Quote(e.errorText);
    auto result = [&](const char* tag, std::vector<std::string_view> fields) {
        if (e.code == 0)
            fields.push_back("ok");
        else
            fields.insert(fields.end(), {"error", code, error});
        line(tag, std::move(fields));
    };
    switch (e.kind) {
    case EventKind::Wrote:
        AppendWrite(e, out);
        break;
    case EventKind::Read:
        for (size_t i = 0; i < e.bytes.size(); i += kBytesPerLine) {
            std::string_view part = std::string_view(e.bytes).substr(i, kBytesPerLine);
            const char* name = part.size() == 1 ? ControlName(static_cast<uint8_t>(part[0])) : nullptr;
            AppendBytes(ByteTime(e, i), '<', part, kHexGroup, name ? name : "", out);
        }
        break;
    case EventKind::Open:
        result("open", {e.port, Quote(e.text)});
        break;
    case EventKind::Close:
        result("close", {});
        break;
    case EventKind::PortError:
        line("error", {e.text, code, error});
        break;
    case EventKind::ShortWrite:
        line("short-write", {std::to_string(e.asked), std::to_string(e.put)});
        break;
    case EventKind::Lines:
        line("lines", {e.on1 ? "cts=on" : "cts=off", e.on2 ? "dcd=on" : "dcd=off"});
        break;
    case EventKind::LineSettings:
        line("line", {Quote(e.text)});
        break;
    case EventKind::Status:
        line("status", {Quote(e.text)});
        break;
    case EventKind::Box:
        line("box", {e.on1 ? "okcancel" : "ok", Quote(e.text)});
        break;
    case EventKind::Answer:
        line("answer", {e.on1 ? "ok" : "cancel"});
        break;
    case EventKind::Latency:
        line("latency", {Quote(e.text), Quote(e.inForce)});
        break;
    case EventKind::Stream:
        if (e.on1)
            line("stream", {"end", e.overlapped ? "overlapped" : "waited"});
        else
            line("stream", {"begin"});
        break;
    }
}

} // namespace trace
