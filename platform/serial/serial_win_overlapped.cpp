// Overlapped reads and writes on a Windows port, and the writer that lets a
// stream's single-byte writes overlap where each one is slow.
#include "platform/serial/serial_win_overlapped.h"

#include <cstdlib>
#include <cstring>

namespace serial::winio {

namespace {

bool s_lastStreamOverlapped = false;

// An event for one operation, closed with the object; the thread's last
// error survives the closing.
class Event {
public:
    Event() : m_event(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
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

// Waits for an operation begun on `ov` whose start returned `started`.
bool Complete(HANDLE handle, BOOL started, OVERLAPPED& ov, DWORD& done)
{
    if (!started && ::GetLastError() != ERROR_IO_PENDING)
        return false;
    return ::GetOverlappedResult(handle, &ov, &done, TRUE) != 0;
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

} // namespace

bool ReadNow(HANDLE handle, bool overlapped, void* buf, DWORD size, DWORD& done)
{
    done = 0;
    if (!overlapped)
        return ::ReadFile(handle, buf, size, &done, nullptr) != 0;
    Event event;
    if (!event.get())
        return false;
    OVERLAPPED ov{};
    ov.hEvent = event.get();
    return Complete(handle, ::ReadFile(handle, buf, size, nullptr, &ov), ov, done);
}

bool WriteNow(HANDLE handle, bool overlapped, const void* buf, DWORD size, DWORD& done)
{
    done = 0;
    if (!overlapped)
        return ::WriteFile(handle, buf, size, &done, nullptr) != 0;
    Event event;
    if (!event.get())
        return false;
    OVERLAPPED ov{};
    ov.hEvent = event.get();
    return Complete(handle, ::WriteFile(handle, buf, size, nullptr, &ov), ov, done);
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

bool LastStreamOverlapped()
{
    return s_lastStreamOverlapped;
}

ByteWriter::ByteWriter(HANDLE handle, bool overlapped)
    : m_handle(handle), m_overlappedHandle(overlapped)
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

void ByteWriter::EndStream()
{
    Settle();
    if (m_streaming)
        s_lastStreamOverlapped = m_overlapping;
    m_streaming = false;
    m_overlapping = false;
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
    while (m_inFlight > 0 && Finish(false)) {
    }
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
    DWORD done = 0;
    if (!::GetOverlappedResult(m_handle, &slot.ov, &done, wait ? TRUE : FALSE)) {
        DWORD err = ::GetLastError();
        if (err == ERROR_IO_INCOMPLETE)
            return false;
        // The first failure counts; the writes cancelled after it do not.
        if (m_failure == 0 && !m_timedOut && err != ERROR_OPERATION_ABORTED) {
            m_failure = err;
            ::CancelIo(m_handle);
        }
    } else if (done == 0 && m_failure == 0 && !m_timedOut) {
        m_timedOut = true;
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
