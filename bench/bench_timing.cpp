#include "bench/bench_timing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <sstream>

namespace bench {

std::vector<double> Timing::ReactionsMs() const
{
    std::vector<double> ms;
    ms.reserve(reactions.size());
    for (const auto& [ack, header] : reactions)
        ms.push_back(static_cast<double>(header - ack) / 1000.0);
    return ms;
}

void Targets::Check(const std::string& what, double value, double limit, int decimals, bool atLeast)
{
    ++m_checked;
    if (atLeast ? value >= limit : value <= limit)
        return;
    auto shown = [](double v, int d) {
        char text[48];
        std::snprintf(text, sizeof text, "%.*f", d, v);
        return std::string(text);
    };
    // A miss smaller than the decimals show gets the decimals that show it.
    while (decimals < 6 && shown(value, decimals) == shown(limit, decimals))
        ++decimals;
    m_missed.push_back(what + " " + shown(value, decimals) + (atLeast ? " < " : " > ") + shown(limit, decimals));
}

std::string Targets::Verdict() const
{
    if (m_checked == 0)
        return "none checked (no run with a target was made)";
    if (m_missed.empty())
        return "all " + std::to_string(m_checked) + " targets met";
    std::string text = "missed " + std::to_string(m_missed.size()) + " of " + std::to_string(m_checked) + ":";
    for (size_t i = 0; i < m_missed.size(); ++i)
        text += (i ? "; " : " ") + m_missed[i];
    return text;
}

Timing Analyse(const std::vector<std::string>& lines)
{
    Timing t;
    std::optional<long long> firstHeader, eotAcked;
    long long lastAck = -1; // time of an ACK no header has followed yet
    for (const std::string& line : lines) {
        std::istringstream in(line);
        std::string kind, code;
        long long at = 0;
        in >> kind;
        if (size_t held = line.find(" held-ms="); kind == "loader-stats" && held != std::string::npos)
            t.heldSeconds = std::atof(line.c_str() + held + 9) / 1000.0;
        if (kind == "reply")
            in >> code;
        if (!(in >> at))
            continue;
        if (kind == "header") {
            if (!firstHeader)
                firstHeader = at;
            if (lastAck >= 0)
                t.reactions.emplace_back(lastAck, at);
            lastAck = -1;
        } else if (kind == "reply") {
            lastAck = code == "06" ? at : -1;
        } else if (kind == "eot-acked") {
            eotAcked = at;
        }
    }
    if (!firstHeader || !eotAcked)
        t.fault = "no complete transfer in the simulator's events";
    else
        t.transferSeconds = static_cast<double>(*eotAcked - *firstHeader) / 1e6;
    return t;
}

Spread SpreadOf(std::vector<double> v)
{
    Spread s;
    if (v.empty())
        return s;
    std::sort(v.begin(), v.end());
    s.mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
    s.p99 = v[(v.size() * 99 + 99) / 100 - 1];
    s.max = v.back();
    return s;
}

AnswerFigures MeetAnswers(const std::vector<Span>& answers, const std::vector<Span>& waits)
{
    AnswerFigures f;
    f.count = answers.size();
    for (const auto& [from, to] : answers) {
        const double ms = static_cast<double>(to - from) / 1000.0;
        f.totalMs += ms;
        f.longestMs = std::max(f.longestMs, ms);
    }
    size_t first = 0; // the first answer that may still meet a wait
    for (const auto& [from, to] : waits) {
        while (first < answers.size() && answers[first].second <= from)
            ++first;
        bool hit = false;
        for (size_t a = first; a < answers.size() && answers[a].first < to; ++a) {
            f.overlapMs +=
                static_cast<double>(std::min(to, answers[a].second) - std::max(from, answers[a].first)) / 1000.0;
            hit = true;
        }
        f.waitsHit += hit ? 1 : 0;
    }
    return f;
}

std::string ToText(const Timing& t, const WindowFigures& w)
{
    std::ostringstream out;
    out.precision(17);
    out << "transfer " << t.transferSeconds << "\ncommand " << w.commandSeconds << "\ncpu " << w.cpuSeconds
        << "\nother " << w.otherThreadsCpuSeconds << "\ngap " << w.longestGapMs << "\n";
    for (const auto& [from, to] : t.reactions)
        out << "reaction " << from << " " << to << "\n";
    for (const auto& [from, to] : w.answers)
        out << "answer " << from << " " << to << "\n";
    for (const auto& [name, seconds] : w.otherThreads)
        out << "thread " << seconds << " " << name << "\n";
    out << "note " << w.note << "\n";
    return out.str();
}

bool FromText(const std::string& text, Timing& t, WindowFigures& w)
{
    std::istringstream in(text);
    bool ended = false;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        Span span;
        if (key == "transfer")
            fields >> t.transferSeconds;
        else if (key == "command")
            fields >> w.commandSeconds;
        else if (key == "cpu")
            fields >> w.cpuSeconds;
        else if (key == "other")
            fields >> w.otherThreadsCpuSeconds;
        else if (key == "gap")
            fields >> w.longestGapMs;
        else if (key == "reaction" && fields >> span.first >> span.second)
            t.reactions.push_back(span);
        else if (key == "answer" && fields >> span.first >> span.second)
            w.answers.push_back(span);
        else if (double seconds = 0; key == "thread" && fields >> seconds) {
            std::string name;
            std::getline(fields >> std::ws, name); // a thread's name may hold spaces
            w.otherThreads.emplace_back(name, seconds);
        } else if (key == "note") {
            w.note = line.size() > 5 ? line.substr(5) : "";
            ended = true;
        } else
            return false;
        if (fields.fail())
            return false;
    }
    return ended && t.transferSeconds > 0;
}

} // namespace bench
