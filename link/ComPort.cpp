#include "link/ComPort.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "platform/modem_guard.h"
#include "platform/pause.h"
#include "platform/serial/com_names.h"
#include "platform/serial/serial_device.h"
#include "platform/ui/message_box.h"

namespace {

constexpr uint8_t CR = 13;
constexpr uint8_t LF = 10;
constexpr size_t kQueueSize = 80;
constexpr size_t kMaxResponse = 1000;
constexpr unsigned kCommandPauseMs = 400;
constexpr unsigned kWriteTimeoutMs = 1000;

// The one handle slot every CComPort shares. Like a system handle it can be
// empty, hold a failed open, or hold an open device.
struct HandleSlot {
    enum class State { Null, Invalid, Open };
    State state = State::Null;
    std::unique_ptr<serial::Device> device;
    // Set when a byte could not go out within the write time-out, whether
    // the status gate gave up on it or the write itself came back empty;
    // `stuckLines` are the modem lines seen then. Cleared by the next byte
    // read from the port, by a change of those lines, or by another Open.
    // While set, every write fails at once.
    bool lineStuck = false;
    serial::ModemLines stuckLines;
    // The modem lines the gate saw last (valid when `linesKnown`).
    serial::ModemLines lastLines;
    bool linesKnown = false;

    void Store(std::unique_ptr<serial::Device> d)
    {
        // The earlier device, if any, is closed rather than leaked.
        device = std::move(d);
        state = device ? State::Open : State::Invalid;
        lineStuck = false;
        linesKnown = false;
    }
    // The line just cost a whole write time-out: fail what follows at once.
    void MarkStuck()
    {
        lineStuck = true;
        stuckLines = lastLines;
        if (!linesKnown) // unreadable lines are taken as all off
            stuckLines = serial::ModemLines{};
    }
    serial::Device* Get() const { return state == State::Open ? device.get() : nullptr; }
};

// Declared before g_ComPort so that it outlives it.
HandleSlot g_slot;

serial::Device* Port()
{
    serial::Device* d = g_slot.Get();
    if (!d)
        serial::SetLastError(serial::NotOpenError());
    return d;
}

} // namespace

CComPort g_ComPort;

CComPort::CComPort() : m_nBaudRate(115200), m_bPresent(0)
{
}

CComPort::~CComPort()
{
    if (g_slot.state != HandleSlot::State::Null)
        Close();
}

int CComPort::Open(const std::string& portName)
{
    std::unique_ptr<serial::Device> device = serial::Open(portName);
    m_strRefusal = device ? std::string() : serial::RefusalNote(portName, serial::LastError());
    g_slot.Store(std::move(device));
    serial::Device* d = g_slot.Get();
    if (!d)
        return 0;

    if (!d->SetQueueSizes(kQueueSize, kQueueSize) || !d->Purge())
        return 0;
    serial::Timeouts t;
    t.readIntervalMs = 0xFFFFFFFFu;
    t.readTotalMultiplierMs = 0;
    t.readTotalConstantMs = 1000;
    t.writeTotalMultiplierMs = 0;
    t.writeTotalConstantMs = kWriteTimeoutMs;
    if (!d->SetTimeouts(t))
        return 0;
    serial::LineState line;
    if (!d->GetLineState(line))
        return 0;
    ApplyModemLineSettings(line, m_nBaudRate);
    return d->SetLineState(line) ? 1 : 0;
}

void ApplyModemLineSettings(serial::LineState& line, int32_t baudRate)
{
    line.baudRate = baudRate;
    line.dataBits = 8;
    line.parity = false;
    line.stopBits = 1;
    line.ctsOutputFlow = true;
    line.dsrOutputFlow = false;
    line.dtrOn = true;
    line.rtsOn = true;
    line.rawMode = true;
}

void CComPort::Close()
{
    if (serial::Device* d = g_slot.Get())
        d->Purge();
    if (g_slot.state == HandleSlot::State::Invalid)
        return; // a failed open stays in the slot
    if (serial::Device* d = g_slot.Get())
        d->Close();
    g_slot.device.reset();
    g_slot.state = HandleSlot::State::Null;
    platform::ReleaseModemGuard();
}

void CComPort::Probe(const std::string& portName, const std::string& label)
{
    m_bPresent = Open(portName);
    if (m_bPresent) {
        m_strPortName = portName;
        if (!label.empty())
            m_strLabel = label;
        Close();
    }
}

int CComPort::Reopen()
{
    if (!m_bPresent || !Open(m_strPortName))
        return 0;
    if (KeepModemManagerOff())
        return 1;
    Close();
    m_strRefusal = m_strPortName + " was left to the modem manager service, which would not let go of it.";
    return 0;
}

bool CComPort::KeepModemManagerOff()
{
    platform::ModemGuard guard = platform::GuardModem(serial::DevicePath(m_strPortName));
    if (guard.state != platform::ModemGuard::State::Refused)
        return true;
    std::string text = "The modem manager service would not leave the modem on " + m_strPortName + " alone:\n" +
        guard.reason +
        "\n\nIt may send commands of its own to the modem while it is being upgraded, "
        "which can spoil the upgrade.\n\nDo you want to continue?";
    return ui::MessageBox(text, ui::MessageButtons::OkCancel) == ui::IDOK;
}

void CComPort::CloseIfPresent()
{
    if (m_bPresent)
        Close();
}

CComPort::WriteResult CComPort::PassStatusGate()
{
    // The modem holds CTS off while it cannot take data; with the carrier
    // gone it is not listening to flow control at all. Wait, but not forever;
    // and once a byte has cost a whole write time-out (here, or in the write
    // itself when the driver's own CTS flow control held it), not again until
    // the modem says something or its lines change: the rest of a packet or
    // command line fails at once instead of costing a second a byte.
    serial::Device* d = Port();
    if (!d)
        return WriteResult::Done; // the write itself reports the missing port
    if (g_slot.lineStuck) {
        serial::ModemLines lines;
        g_slot.linesKnown = d->GetModemLines(lines);
        g_slot.lastLines = lines;
        if (g_slot.linesKnown &&
            (lines.cts != g_slot.stuckLines.cts || lines.carrierDetect != g_slot.stuckLines.carrierDetect)) {
            g_slot.lineStuck = false; // the modem moved: try again
        } else {
            serial::SetLastError(serial::TimedOutError());
            return WriteResult::TimedOut;
        }
    }
    // The clock starts at the first look that finds the gate shut: the
    // transfer passes here once a byte, nearly always straight through.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    for (;;) {
        serial::ModemLines lines;
        g_slot.linesKnown = d->GetModemLines(lines);
        g_slot.lastLines = lines;
        if (!g_slot.linesKnown)
            return WriteResult::Done; // unreadable lines: let the write find out
        if (lines.cts || !lines.carrierDetect)
            return WriteResult::Done;
        const auto now = std::chrono::steady_clock::now();
        if (!deadline)
            deadline = now + std::chrono::milliseconds(kWriteTimeoutMs);
        else if (now >= *deadline) {
            g_slot.MarkStuck();
            serial::SetLastError(serial::TimedOutError());
            return WriteResult::TimedOut;
        }
        platform::Pause(1);
    }
}

// Writes `size` bytes behind the gate. Done only if all of them went out;
// TimedOut when the gate or the write ran out of its time-out short of that
// (the line is then marked stuck), or the line was stuck already; Failed
// when a call failed. `put` says how many left.
CComPort::WriteResult CComPort::WriteGated(const void* data, size_t size, size_t& put)
{
    put = 0;
    const WriteResult gate = PassStatusGate();
    if (gate != WriteResult::Done)
        return gate;
    serial::Device* d = Port();
    if (!d || !d->Write(data, size, put))
        return WriteResult::Failed;
    if (put < size) {
        g_slot.MarkStuck();
        serial::SetLastError(serial::TimedOutError());
        return WriteResult::TimedOut;
    }
    return WriteResult::Done;
}

int CComPort::WriteByte(uint8_t byte)
{
    size_t put = 0;
    return WriteGated(&byte, 1, put) == WriteResult::Done ? 1 : 0;
}

void CComPort::BeginWriteStream()
{
    if (serial::Device* d = g_slot.Get())
        d->BeginWriteStream();
}

void CComPort::EndWriteStream()
{
    if (serial::Device* d = g_slot.Get())
        d->EndWriteStream();
}

int CComPort::ReadByte(uint8_t& byte)
{
    byte = 0;
    serial::Device* d = Port();
    serial::Status status;
    if (!d || !d->ClearError(status) || status.inputQueued < 1)
        return 0;
    size_t got = 0;
    if (!d->Read(&byte, 1, got) || got != 1)
        return 0;
    g_slot.lineStuck = false;
    return 1;
}

int CComPort::WaitForInput(unsigned ms)
{
    serial::Device* d = g_slot.Get();
    if (!d) {
        platform::Pause(ms);
        return 0;
    }
    return platform::PauseUnless(ms, [d](unsigned slice) { return d->WaitForInput(slice); }) ? 1 : 0;
}

int CComPort::SendCommand(const std::string& command, bool lf)
{
    // A port with nothing behind it (every modem line off) or a modem holding
    // CTS off takes nothing within the write time-out. That is no failed
    // call: the silence that follows says the same, as on a port whose driver
    // takes the bytes into its buffer, so discovery passes such a port over
    // without a box.
    size_t put = 0;
    if (WriteGated(command.data(), command.size(), put) == WriteResult::Failed) {
        char text[64];
        std::snprintf(text, sizeof text, "Error writing to modem!\nError code %d", serial::LastError());
        ui::MessageBox(text);
    }
    WriteByte(CR);
    if (lf)
        WriteByte(LF);
    platform::Pause(kCommandPauseMs);
    return static_cast<int>(put);
}

int CComPort::ReadResponse(std::string& text)
{
    text.clear();
    serial::Device* d = Port();
    serial::Status status;
    if (!d || !d->ClearError(status) || status.inputQueued == 0)
        return 0;
    // Only what is waiting: asking for more would stall for the time-out.
    std::vector<char> buf(std::min(status.inputQueued, kMaxResponse));
    size_t got = 0;
    d->Read(buf.data(), buf.size(), got);
    if (got > 0)
        g_slot.lineStuck = false;
    text.assign(buf.data(), strnlen(buf.data(), got));
    return static_cast<int>(got);
}

std::string StripLineBreaks(const std::string& reply)
{
    std::string out;
    out.reserve(reply.size());
    for (char c : reply)
        if (c != '\r' && c != '\n')
            out += c;
    return out;
}

int ReplyBeforeOk(const std::string& reply, std::string& before)
{
    size_t p = reply.find("OK");
    if (p == std::string::npos) {
        before = reply;
        return -1;
    }
    before = reply.substr(0, p);
    return static_cast<int>(p);
}
