#include "trace/TraceDevice.h"

#include <cstdio>

#include "platform/serial/port_list.h"

namespace trace {

namespace {

// A failure's code as the trace keeps it: never 0, which means success there.
int NonZero(int code)
{
    return code != 0 ? code : -1;
}

class TraceDevice : public serial::Device {
public:
    explicit TraceDevice(std::unique_ptr<serial::Device> inner) : m_inner(std::move(inner)) { }

    bool SetQueueSizes(size_t input, size_t output) override
    {
        return Note("queue-sizes", m_inner->SetQueueSizes(input, output));
    }
    bool Purge() override { return Note("purge", m_inner->Purge()); }
    bool SetTimeouts(const serial::Timeouts& t) override { return Note("timeouts", m_inner->SetTimeouts(t)); }
    bool GetLineState(serial::LineState& out) override { return Note("get-line", m_inner->GetLineState(out)); }
    bool SetLineState(const serial::LineState& s) override
    {
        bool ok = m_inner->SetLineState(s);
        if (ok) {
            char text[96];
            std::snprintf(text, sizeof text, "%ld %d%c%d%s%s%s%s", static_cast<long>(s.baudRate), s.dataBits,
                s.parity ? 'P' : 'N', s.stopBits, s.ctsOutputFlow ? " cts-flow" : "",
                s.dsrOutputFlow ? " dsr-flow" : "", s.dtrOn ? " dtr" : "", s.rtsOn ? " rts" : "");
            if (Recorder* r = Current())
                r->LineSettings(text);
        }
        return Note("set-line", ok);
    }
    bool ClearError(serial::Status& out) override { return Polled(m_statusError, "status", m_inner->ClearError(out)); }
    bool Read(void* buf, size_t size, size_t& got) override
    {
        got = 0;
        bool ok = m_inner->Read(buf, size, got);
        if (Recorder* r = Current())
            r->Read(buf, got);
        return Polled(m_readError, "read", ok);
    }
    bool Write(const void* buf, size_t size, size_t& put) override
    {
        put = 0;
        bool ok = m_inner->Write(buf, size, put);
        if (Recorder* r = Current()) {
            r->Wrote(buf, put);
            if (ok && put < size)
                r->ShortWrite(size, put);
        }
        return Polled(m_writeError, "write", ok);
    }
    bool GetModemLines(serial::ModemLines& out) override
    {
        bool ok = m_inner->GetModemLines(out);
        if (ok && (!m_linesKnown || out.cts != m_lines.cts || out.carrierDetect != m_lines.carrierDetect)) {
            m_linesKnown = true;
            m_lines = out;
            if (Recorder* r = Current())
                r->Lines(out.cts, out.carrierDetect);
        }
        return Polled(m_linesError, "modem-lines", ok);
    }
    bool WaitForInput(unsigned ms) override { return m_inner->WaitForInput(ms); }
    LatencySetting Latency() const override { return m_inner->Latency(); }
    // The port's own write path, traced as it is taken.
    void BeginWriteStream() override
    {
        m_inner->BeginWriteStream();
        if (Recorder* r = Current())
            r->StreamBegan();
    }
    serial::WritePath EndWriteStream() override
    {
        const serial::WritePath path = m_inner->EndWriteStream();
        if (Recorder* r = Current())
            r->StreamEnded(path == serial::WritePath::Overlapped);
        return path;
    }
    bool Close() override
    {
        bool ok = m_inner->Close();
        int code = ok ? 0 : NonZero(serial::LastError());
        if (Recorder* r = Current())
            r->Closed(code, ok ? std::string() : serial::ErrorText(code));
        return ok;
    }

private:
    // Records a failed call with the system's error; the error stays set.
    bool Note(const char* operation, bool ok)
    {
        if (!ok) {
            int code = serial::LastError();
            if (Recorder* r = Current())
                r->PortError(operation, code, serial::ErrorText(code));
        }
        return ok;
    }
    // The same for calls the program repeats every millisecond: a failure
    // is recorded once until the call succeeds again or fails otherwise.
    bool Polled(int& lastError, const char* operation, bool ok)
    {
        if (ok) {
            lastError = 0;
            return true;
        }
        int code = serial::LastError();
        if (code != lastError) {
            lastError = code;
            if (Recorder* r = Current())
                r->PortError(operation, code, serial::ErrorText(code));
        }
        serial::SetLastError(code);
        return false;
    }

    std::unique_ptr<serial::Device> m_inner;
    int m_statusError = 0, m_readError = 0, m_writeError = 0, m_linesError = 0;
    bool m_linesKnown = false;
    serial::ModemLines m_lines;
};

} // namespace

std::unique_ptr<serial::Device> Wrap(std::unique_ptr<serial::Device> inner)
{
    return std::make_unique<TraceDevice>(std::move(inner));
}

serial::Opener TracePortOpens()
{
    serial::Opener previous = serial::GetOpener();
    serial::SetOpener([previous](const std::string& name) -> std::unique_ptr<serial::Device> {
        Recorder* recorder = Current();
        const std::string path = serial::DevicePath(name);
        std::unique_ptr<serial::Device> device = previous ? previous(name) : serial::OpenNative(path);
        if (!device) {
            int code = NonZero(serial::LastError());
            if (recorder)
                recorder->Opened(name, path, code, serial::ErrorText(code));
            serial::SetLastError(code);
            return nullptr;
        }
        if (recorder) {
            recorder->Opened(name, path, 0, "");
            serial::Device::LatencySetting l = device->Latency();
            if (const int ms = l.found.empty() ? serial::AdapterLatencyTimerMs(name) : -1; ms >= 0)
                l.found = l.inForce = "latency timer " + std::to_string(ms) + " ms"; // the user's to change
            if (!l.found.empty())
                recorder->Latency(l.found, l.inForce);
        }
        return Wrap(std::move(device));
    });
    return previous;
}

} // namespace trace
