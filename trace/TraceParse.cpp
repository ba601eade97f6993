// Reading a trace's text back into events (the format: TraceFormat.h).
#include "trace/TraceFormat.h"

#include <charconv>
#include <cstdint>

namespace trace {

namespace {

// Reads tokens off one line.
class Cursor {
public:
    explicit Cursor(std::string_view s) : m_s(s) { }
    bool AtEnd() const { return m_pos >= m_s.size(); }
    std::string_view Rest() const { return m_s.substr(m_pos); }
    void SkipSpaces()
    {
        while (m_pos < m_s.size() && m_s[m_pos] == ' ')
            ++m_pos;
    }
    std::string_view Token()
    {
        SkipSpaces();
        size_t start = m_pos;
        while (m_pos < m_s.size() && m_s[m_pos] != ' ')
            ++m_pos;
        return m_s.substr(start, m_pos - start);
    }
    bool Number(int64_t& out)
    {
        std::string_view t = Token();
        auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
        return !t.empty() && ec == std::errc() && p == t.data() + t.size();
    }
    bool Int(int& out)
    {
        int64_t v = 0;
        if (!Number(v) || v < INT32_MIN || v > INT32_MAX)
            return false;
        out = static_cast<int>(v);
        return true;
    }
    bool Quoted(std::string& out)
    {
        SkipSpaces();
        size_t end = m_pos;
        if (end >= m_s.size() || m_s[end] != '"')
            return false;
        for (++end; end < m_s.size() && m_s[end] != '"'; ++end)
            if (m_s[end] == '\\')
                ++end;
        if (end >= m_s.size())
            return false;
        std::string_view q = m_s.substr(m_pos, end + 1 - m_pos);
        m_pos = end + 1;
        return Unquote(q, out);
    }
    // Exactly `n` characters between bars.
    bool Column(size_t n)
    {
        if (m_pos + n + 2 > m_s.size() || m_s[m_pos] != '|' || m_s[m_pos + n + 1] != '|')
            return false;
        m_pos += n + 2;
        return true;
    }
    // Nothing left but an optional remark.
    bool Done()
    {
        SkipSpaces();
        return AtEnd() || m_s[m_pos] == ';';
    }

private:
    std::string_view m_s;
    size_t m_pos = 0;
};

bool ParseTime(std::string_view t, int64_t& us)
{
    size_t dot = t.find('.');
    if (dot == std::string_view::npos || t.size() - dot != 7 || dot == 0)
        return false;
    int64_t s = 0, frac = 0;
    auto [p1, e1] = std::from_chars(t.data(), t.data() + dot, s);
    auto [p2, e2] = std::from_chars(t.data() + dot + 1, t.data() + t.size(), frac);
    if (e1 != std::errc() || p1 != t.data() + dot || e2 != std::errc() || p2 != t.data() + t.size() || s < 0 ||
        frac < 0 || s > INT64_MAX / 1000000 - 1)
        return false;
    us = s * 1000000 + frac;
    return true;
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool ParseBytes(Cursor& c, std::string& bytes)
{
    for (;;) {
        c.SkipSpaces();
        if (c.AtEnd())
            return false;
        if (c.Rest().front() == '|')
            return c.Column(bytes.size()) && c.Done();
        std::string_view t = c.Token();
        if (t.size() % 2)
            return false;
        for (size_t i = 0; i < t.size(); i += 2) {
            int hi = HexValue(t[i]), lo = HexValue(t[i + 1]);
            if (hi < 0 || lo < 0)
                return false;
            bytes += static_cast<char>(hi * 16 + lo);
        }
    }
}

bool ParseResult(Cursor& c, Event& e)
{
    std::string_view r = c.Token();
    if (r == "ok")
        return c.Done();
    return r == "error" && c.Int(e.code) && e.code != 0 && c.Quoted(e.errorText) && c.Done();
}

bool ParseOnOff(std::string_view token, std::string_view name, bool& out)
{
    if (token.substr(0, name.size()) != name)
        return false;
    token.remove_prefix(name.size());
    out = token == "on";
    return token == "on" || token == "off";
}

// Fills `e` from the rest of a line after its time and tag.
bool ParseEvent(std::string_view tag, Cursor& c, Event& e)
{
    if (tag == ">" || tag == "<") {
        e.kind = tag == ">" ? EventKind::Wrote : EventKind::Read;
        return ParseBytes(c, e.bytes) && !e.bytes.empty();
    }
    if (tag == "open") {
        e.kind = EventKind::Open;
        e.port = std::string(c.Token());
        return !e.port.empty() && c.Quoted(e.text) && ParseResult(c, e);
    }
    if (tag == "close") {
        e.kind = EventKind::Close;
        return ParseResult(c, e);
    }
    if (tag == "error") {
        e.kind = EventKind::PortError;
        e.text = std::string(c.Token());
        return !e.text.empty() && c.Int(e.code) && c.Quoted(e.errorText) && c.Done();
    }
    if (tag == "short-write") {
        e.kind = EventKind::ShortWrite;
        int64_t asked = 0, put = 0;
        if (!c.Number(asked) || !c.Number(put) || asked < 0 || put < 0)
            return false;
        e.asked = static_cast<size_t>(asked);
        e.put = static_cast<size_t>(put);
        return c.Done();
    }
    if (tag == "lines") {
        e.kind = EventKind::Lines;
        return ParseOnOff(c.Token(), "cts=", e.on1) && ParseOnOff(c.Token(), "dcd=", e.on2) && c.Done();
    }
    if (tag == "line" || tag == "status") {
        e.kind = tag == "line" ? EventKind::LineSettings : EventKind::Status;
        return c.Quoted(e.text) && c.Done();
    }
    if (tag == "latency") {
        e.kind = EventKind::Latency;
        return c.Quoted(e.text) && c.Quoted(e.inForce) && c.Done();
    }
    if (tag == "box") {
        e.kind = EventKind::Box;
        std::string_view b = c.Token();
        e.on1 = b == "okcancel";
        return (b == "ok" || b == "okcancel") && c.Quoted(e.text) && c.Done();
    }
    if (tag == "stream") {
        e.kind = EventKind::Stream;
        std::string_view what = c.Token();
        if (what == "begin")
            return c.Done();
        std::string_view path = c.Token();
        e.on1 = true;
        e.overlapped = path == "overlapped";
        return what == "end" && (path == "waited" || path == "overlapped") && c.Done();
    }
    if (tag == "answer") {
        e.kind = EventKind::Answer;
        std::string_view a = c.Token();
        e.on1 = a == "ok";
        return (a == "ok" || a == "cancel") && c.Done();
    }
    return false;
}
} // namespace

bool Unquote(std::string_view q, std::string& out)
{
    out.clear();
    if (q.size() < 2 || q.front() != '"' || q.back() != '"')
        return false;
    q = q.substr(1, q.size() - 2);
    for (size_t i = 0; i < q.size(); ++i) {
        if (q[i] == '"')
            return false;
        if (q[i] != '\\') {
            out += q[i];
            continue;
        }
        if (++i == q.size())
            return false;
        switch (q[i]) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            int hi = i + 2 < q.size() ? HexValue(q[i + 1]) : -1, lo = i + 2 < q.size() ? HexValue(q[i + 2]) : -1;
            if (hi < 0 || lo < 0)
                return false;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}
bool ParseTrace(std::string_view text, std::vector<Event>& out, std::string& error)
{
    int number = 0;
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        Cursor c(line);
        Event e;
        e.lineNumber = number;
        std::string_view time = c.Token();
        std::string_view tag = c.Token();
        if (!ParseTime(time, e.us) || !ParseEvent(tag, c, e)) {
            error = "line " + std::to_string(number) + " is not a trace event: " + std::string(line.substr(0, 80)) +
                (line.size() > 80 ? "..." : "");
            return false;
        }
        out.push_back(std::move(e));
    }
    return true;
}
} // namespace trace
