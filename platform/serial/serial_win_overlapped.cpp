// Overlapped reads and writes on a Windows port, and the writer that lets a
// stream's single-byte writes overlap where each one is slow.
#include "platform/serial/serial_win_overlapped.h"

#include <cstdlib>
#include <cstring>

#include "platform/serial/port_list.h"

namespace serial::winio {

namespace {

bool s_lastStreamOverlapped = false;

// An event for one operation, closed with the object; the thread's last
// error survives the closing.
class Event {
public:
    Event() : m_event(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) { }
    ~Event()
    {
        DWORD err = ::GetLastError();
        if (m_event)
            ::CloseHandle(m_event);
        ::SetLastError(err);
    }
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    HANDLE get() const { return m_event; }

private:
    HANDLE m_event;
};

// Waits for an operation begun on `ov` whose start returned `started`, up
// to `limitMs`; then cancels it, and what it moved counts as a time-out.
bool Complete(HANDLE handle, BOOL started, OVERLAPPED& ov, DWORD& done, DWORD limitMs)
{
    if (!started && ::GetLastError() != ERROR_IO_PENDING)
        return false;
    if (limitMs != INFINITE && ::WaitForSingleObject(ov.hEvent, limitMs) == WAIT_TIMEOUT) {
        ::CancelIo(handle);
        // Ended by the cancel (Windows and Wine give it different codes) or
        // just before it: either way what it moved is its result.
        ::GetOverlappedResult(handle, &ov, &done, TRUE);
        return true;
    }
    if (::GetOverlappedResult(handle, &ov, &done, TRUE))
        return true;
    // Windows ends an operation at its time-out as a success; Wine, as a
    // failure with this code.
    return ::GetLastError() == ERROR_TIMEOUT;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

namespace {

// Runs `start` (a ReadFile or WriteFile given the OVERLAPPED to use, or
// null on a plain handle) and waits for its end.
template <typename Start>
bool RunNow(HANDLE handle, bool overlapped, DWORD& done, Start start, DWORD limitMs = INFINITE)
{
    done = 0;
    if (!overlapped)
        return start(&done, nullptr) != 0;
    Event event;
    if (!event.get())
        return false;
    OVERLAPPED ov{};
    ov.hEvent = event.get();
    return Complete(handle, start(nullptr, &ov), ov, done, limitMs);
}

} // namespace

bool ReadNow(HANDLE handle, bool overlapped, void* buf, DWORD size, DWORD& done, DWORD limitMs)
{
    return RunNow(
        handle, overlapped, done, [&](DWORD* n, OVERLAPPED* ov) { return ::ReadFile(handle, buf, size, n, ov); },
        limitMs);
}

DWORD ReadLimitMs(const COMMTIMEOUTS& t, DWORD size)
{
    constexpr DWORD kSlackMs = 200;
    const unsigned long long total =
        static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * size + t.ReadTotalTimeoutConstant;
    if (total == 0 && t.ReadIntervalTimeout != MAXDWORD)
        return INFINITE; // no limit set: the read waits for its bytes
    return total + kSlackMs >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(total + kSlackMs);
}

bool WriteNow(HANDLE handle, bool overlapped, const void* buf, DWORD size, DWORD& done)
{
    return RunNow(
        handle, overlapped, done, [&](DWORD* n, OVERLAPPED* ov) { return ::WriteFile(handle, buf, size, n, ov); });
}

WriteMode TestWriteMode()
{
    const char* mode = std::getenv("QUILVEX_TEST_WRITES");
    if (mode && std::strcmp(mode, "plain") == 0)
        return WriteMode::Plain;
    if (mode && std::strcmp(mode, "overlapped") == 0)
        return WriteMode::Overlapped;
    return WriteMode::Chosen;
}

bool OpenOverlapped(const std::string& path)
{
    const WriteMode mode = TestWriteMode();
    if (mode != WriteMode::Chosen)
        return mode == WriteMode::Overlapped;
    const std::string prefix = "\\\\.\\";
    const std::string name = path.compare(0, prefix.size(), prefix) == 0 ? path.substr(prefix.size()) : path;
    for (const PortInfo& p : ListSerialPorts())
        if (::lstrcmpiA(p.name.c_str(), name.c_str()) == 0)
            return !p.usbVendor.empty();
    return false;
}

bool LastStreamOverlapped()
{
    return s_lastStreamOverlapped;
}

ByteWriter::ByteWriter(HANDLE handle, bool overlapped) : m_handle(handle), m_overlappedHandle(overlapped)
{
}

ByteWriter::~ByteWriter()
{
    Abandon();
    for (Slot& slot : m_slots)
        if (slot.event)
            ::CloseHandle(slot.event);
}

void ByteWriter::BeginStream(uint32_t baudRate)
{
    Settle();
    m_streaming = true;
    m_timed = 0;
    m_quickest = 0;
    // Ten bits a byte on the line (start, eight data, stop).
    m_slowSeconds = 2.0 * 10.0 / (baudRate ? baudRate : 115200);
    m_overlapping = m_overlappedHandle && TestWriteMode() == WriteMode::Overlapped;
}

bool ByteWriter::EndStream()
{
    Settle();
    const bool overlapped = m_streaming && m_overlapping;
    if (m_streaming)
        s_lastStreamOverlapped = overlapped;
    m_streaming = false;
    m_overlapping = false;
    return overlapped;
}

bool ByteWriter::Write(uint8_t byte, DWORD& put)
{
    if (m_overlapping)
        return Issue(byte, put);
    if (!m_streaming || m_timed >= kTimedWrites)
        return WriteNow(m_handle, m_overlappedHandle, &byte, 1, put);
    LARGE_INTEGER start, end;
    ::QueryPerformanceCounter(&start);
    bool ok = WriteNow(m_handle, m_overlappedHandle, &byte, 1, put);
    ::QueryPerformanceCounter(&end);
    // Only a write that went out counts: one that timed out says the line
    // is stuck, not that the driver is slow. The quickest write decides, so
    // that a moment the system spent elsewhere does not.
    if (ok && put == 1) {
        const double seconds = Seconds(start, end);
        m_quickest = m_timed == 0 || seconds < m_quickest ? seconds : m_quickest;
        if (++m_timed == kTimedWrites)
            m_overlapping = m_overlappedHandle && m_quickest > m_slowSeconds;
    }
    return ok;
}

bool ByteWriter::Issue(uint8_t byte, DWORD& put)
{
    put = 0;
    while (m_inFlight > 0 && Finish(false)) { }
    if (m_inFlight == kMaxInFlight)
        Finish(true);
    if (m_failure != 0 || m_timedOut) {
        DWORD failure = m_failure;
        bool timedOut = m_timedOut;
        m_failure = 0;
        m_timedOut = false;
        if (timedOut)
            return true; // nothing written: a time-out
        ::SetLastError(failure);
        return false;
    }
    Slot& slot = m_slots[(m_oldest + m_inFlight) % kMaxInFlight];
    if (!slot.event && !(slot.event = ::CreateEventA(nullptr, TRUE, FALSE, nullptr)))
        return false;
    ::ResetEvent(slot.event);
    slot.ov = OVERLAPPED{};
    slot.ov.hEvent = slot.event;
    slot.byte = byte;
    if (!::WriteFile(m_handle, &slot.byte, 1, nullptr, &slot.ov) && ::GetLastError() != ERROR_IO_PENDING)
        return false; // refused at once, as a single write would be
    ++m_inFlight;
    put = 1;
    return true;
}

bool ByteWriter::Finish(bool wait)
{
    Slot& slot = m_slots[m_oldest];
    DWORD done = 0, err = 0;
    const bool ok = ::GetOverlappedResult(m_handle, &slot.ov, &done, wait ? TRUE : FALSE);
    if (!ok && (err = ::GetLastError()) == ERROR_IO_INCOMPLETE)
        return false;
    // Windows ends a write at its time-out as a success with nothing
    // written; Wine, as a failure with ERROR_TIMEOUT. The first failure
    // counts; the writes cancelled after it do not.
    const bool timedOut = ok ? done == 0 : err == ERROR_TIMEOUT;
    if (m_failure == 0 && !m_timedOut && (timedOut || (!ok && err != ERROR_OPERATION_ABORTED))) {
        if (timedOut)
            m_timedOut = true;
        else
            m_failure = err;
        ::CancelIo(m_handle);
    }
    m_oldest = (m_oldest + 1) % kMaxInFlight;
    --m_inFlight;
    return true;
}

void ByteWriter::Settle()
{
    while (m_inFlight > 0)
        Finish(true);
    m_failure = 0;
    m_timedOut = false;
}

void ByteWriter::Abandon()
{
    if (m_inFlight > 0)
        ::CancelIo(m_handle);
    Settle();
}

} // namespace serial::winio
