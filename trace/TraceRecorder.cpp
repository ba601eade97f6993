#include "trace/TraceRecorder.h"

#include <cstdio>

namespace trace {

namespace {

// Bytes in one direction closer together than this join one event: a
// packet or a command line stays whole, each byte keeping its own time.
constexpr int64_t kJoinUs = 20000;

Recorder* g_current = nullptr;

} // namespace

Recorder::Recorder(std::unique_ptr<Sink> sink, const Header& header, std::string fileName)
    : m_sink(std::move(sink)), m_fileName(std::move(fileName)), m_start(std::chrono::steady_clock::now())
{
    std::string error;
    if (!m_sink->Write(FormatHeader(header), error)) {
        m_failed = m_startFailed = true;
        m_failure = "The trace file cannot be written:\n" + m_fileName + "\n\n" + error;
    }
}

int64_t Recorder::Now() const
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_start).count();
}

Event* Recorder::Add(EventKind kind)
{
    if (m_failed)
        return nullptr;
    Event& e = m_pending.emplace_back();
    e.kind = kind;
    e.us = Now();
    return &e;
}

void Recorder::AddBytes(EventKind kind, const void* data, size_t size)
{
    if (m_failed || size == 0)
        return;
    const int64_t now = Now();
    Event* e = m_pending.empty() ? nullptr : &m_pending.back();
    if (!e || e->kind != kind || now - e->byteUs.back() > kJoinUs)
        e = Add(kind);
    e->bytes.append(static_cast<const char*>(data), size);
    e->byteUs.insert(e->byteUs.end(), size, now);
}

void Recorder::Opened(const std::string& port, const std::string& path, int code, const std::string& errorText)
{
    if (Event* e = Add(EventKind::Open)) {
        e->port = port;
        e->text = path;
        e->code = code;
        e->errorText = errorText;
    }
}

void Recorder::Closed(int code, const std::string& errorText)
{
    if (Event* e = Add(EventKind::Close)) {
        e->code = code;
        e->errorText = errorText;
    }
}

void Recorder::Wrote(const void* data, size_t size)
{
    AddBytes(EventKind::Wrote, data, size);
}

void Recorder::Read(const void* data, size_t size)
{
    AddBytes(EventKind::Read, data, size);
}

void Recorder::PortError(const char* operation, int code, const std::string& errorText)
{
    if (Event* e = Add(EventKind::PortError)) {
        e->text = operation;
        e->code = code;
        e->errorText = errorText;
    }
}

void Recorder::ShortWrite(size_t asked, size_t put)
{
    if (Event* e = Add(EventKind::ShortWrite)) {
        e->asked = asked;
        e->put = put;
    }
}

void Recorder::Lines(bool cts, bool carrierDetect)
{
    if (Event* e = Add(EventKind::Lines)) {
        e->on1 = cts;
        e->on2 = carrierDetect;
    }
}

void Recorder::StreamBegan()
{
    Add(EventKind::Stream);
}

void Recorder::StreamEnded(bool overlapped)
{
    if (Event* e = Add(EventKind::Stream)) {
        e->on1 = true;
        e->overlapped = overlapped;
    }
}

void Recorder::LineSettings(const std::string& text)
{
    if (Event* e = Add(EventKind::LineSettings))
        e->text = text;
}

void Recorder::Latency(const std::string& found, const std::string& inForce)
{
    if (Event* e = Add(EventKind::Latency)) {
        e->text = found;
        e->inForce = inForce;
    }
}

void Recorder::Status(const std::string& text)
{
    if (Event* e = Add(EventKind::Status))
        e->text = text;
}

void Recorder::Box(const std::string& text, bool okCancel)
{
    if (Event* e = Add(EventKind::Box)) {
        e->text = text;
        e->on1 = okCancel;
        Flush();
    }
}

void Recorder::Answer(bool ok)
{
    if (Event* e = Add(EventKind::Answer))
        e->on1 = ok;
}

void Recorder::Fail(const std::string& error)
{
    m_failed = true;
    m_pending.clear();
    m_pending.shrink_to_fit();
    char when[32];
    std::snprintf(when, sizeof when, "%.1f", static_cast<double>(m_written) / 1e6);
    m_failure = "The trace was cut short: its file could not be written.\n" + m_fileName + "\n\n" + error +
        "\n\nIt holds the first " + when + " seconds of the run. The upgrade itself was not affected.";
}

bool Recorder::Flush()
{
    if (m_failed)
        return false;
    m_text.clear();
    for (const Event& e : m_pending)
        m_formatter.Append(e, m_text);
    std::string error;
    if (!m_text.empty() && !m_sink->Write(m_text, error)) {
        Fail(error);
        return false;
    }
    if (!m_pending.empty())
        m_written = m_pending.back().us;
    m_pending.clear();
    m_text.clear();
    return true;
}

std::string Recorder::Finish()
{
    if (m_finished)
        return m_failure;
    m_finished = true;
    Flush();
    std::string error;
    if (!m_sink->Close(error) && !m_failed)
        Fail(error);
    m_failed = true; // records nothing more
    // A trace that never began was reported when it failed to.
    return m_startFailed ? std::string() : m_failure;
}

Recorder* Current()
{
    return g_current;
}

void SetCurrent(Recorder* recorder)
{
    g_current = recorder;
}

} // namespace trace
