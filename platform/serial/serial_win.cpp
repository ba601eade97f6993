// Serial devices on Windows, over the Win32 communications calls. Each
// operation of the interface is one system call; the system keeps the read
// and write deadlines itself. Error codes are GetLastError() values.
#include "platform/serial/serial_device.h"

#include <chrono>
#include <climits>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/pause.h"
#include "platform/serial/serial_win_overlapped.h"
#include "platform/serial/system_device.h"

namespace serial {

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

bool Fail(DWORD err)
{
    SetLastError(static_cast<int>(err));
    return false;
}

bool FailLast()
{
    return Fail(::GetLastError());
}

// A device without modem-control lines (a pseudo-terminal behind Wine, a
// port driver that does not report them) answers the status query so.
bool NoModemLines(DWORD err)
{
    return err == ERROR_NOT_SUPPORTED || err == ERROR_INVALID_FUNCTION;
}

class WinDevice final : public SystemDevice {
public:
    WinDevice(HANDLE handle, bool overlapped, const DCB& state, const COMMTIMEOUTS& timeouts)
        : m_handle(handle), m_overlapped(overlapped), m_timeouts(timeouts), m_writer(handle, overlapped),
          m_originalState(state), m_originalTimeouts(timeouts)
    {
    }
    ~WinDevice() override
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            Close();
    }

    bool DoSetQueueSizes(size_t input, size_t output) override
    {
        m_writer.Settle();
        return ::SetupComm(m_handle, static_cast<DWORD>(input), static_cast<DWORD>(output)) || FailLast();
    }

    bool DoPurge() override
    {
        m_writer.Abandon();
        return ::PurgeComm(m_handle, kPurgeAll) || FailLast();
    }

    bool DoSetTimeouts(const Timeouts& t) override
    {
        m_writer.Settle();
        COMMTIMEOUTS ct{};
        ct.ReadIntervalTimeout = t.readIntervalMs;
        ct.ReadTotalTimeoutMultiplier = t.readTotalMultiplierMs;
        ct.ReadTotalTimeoutConstant = t.readTotalConstantMs;
        ct.WriteTotalTimeoutMultiplier = t.writeTotalMultiplierMs;
        ct.WriteTotalTimeoutConstant = t.writeTotalConstantMs;
        if (!::SetCommTimeouts(m_handle, &ct))
            return FailLast();
        m_timeouts = ct;
        return true;
    }

    bool DoGetLineState(LineState& out) override
    {
        m_writer.Settle();
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(m_handle, &dcb))
            return FailLast();
        out.baudRate = static_cast<int32_t>(dcb.BaudRate);
        out.dataBits = dcb.ByteSize;
        out.parity = dcb.Parity != NOPARITY;
        out.stopBits = dcb.StopBits == ONESTOPBIT ? 1 : 2;
        out.ctsOutputFlow = dcb.fOutxCtsFlow != 0;
        out.dsrOutputFlow = dcb.fOutxDsrFlow != 0;
        out.dtrOn = dcb.fDtrControl == DTR_CONTROL_ENABLE;
        out.rtsOn = dcb.fRtsControl == RTS_CONTROL_ENABLE;
        out.rawMode = dcb.fBinary && !dcb.fOutX && !dcb.fInX && !dcb.fNull && !dcb.fErrorChar;
        return true;
    }

    bool DoSetLineState(const LineState& s) override
    {
        m_writer.Settle();
        if (s.baudRate <= 0 || s.dataBits < 5 || s.dataBits > 8 || s.stopBits < 1 || s.stopBits > 2)
            return Fail(ERROR_INVALID_PARAMETER);
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(m_handle, &dcb))
            return FailLast();
        dcb.BaudRate = static_cast<DWORD>(s.baudRate);
        dcb.ByteSize = static_cast<BYTE>(s.dataBits);
        dcb.fParity = s.parity;
        dcb.Parity = s.parity ? EVENPARITY : NOPARITY;
        dcb.StopBits = s.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fOutxCtsFlow = s.ctsOutputFlow;
        dcb.fOutxDsrFlow = s.dsrOutputFlow;
        dcb.fDsrSensitivity = FALSE;
        dcb.fDtrControl = s.dtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        dcb.fRtsControl = s.rtsOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        if (s.rawMode) {
            dcb.fBinary = TRUE;
            dcb.fOutX = FALSE;
            dcb.fInX = FALSE;
            dcb.fNull = FALSE;
            dcb.fErrorChar = FALSE;
            dcb.fAbortOnError = FALSE;
        }
        if (!::SetCommState(m_handle, &dcb))
            return FailLast();
        m_ctsFlow = s.ctsOutputFlow;
        return true;
    }

    bool DoClearError(Status& out) override
    {
        m_writer.Settle();
        DWORD queued = 0;
        if (!QueryQueue(queued))
            return FailLast();
        out.inputQueued = queued;
        return true;
    }

    void BeginWriteStream() override
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (Ready() && ::GetCommState(m_handle, &dcb))
            m_writer.BeginStream(dcb.BaudRate);
    }

    WritePath EndWriteStream() override
    {
        if (Usable() && m_writer.EndStream())
            return WritePath::Overlapped;
        return WritePath::Waited;
    }

    bool WaitForInput(unsigned ms) override
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            m_writer.Settle();
        // Under Wine a port event wait on a pseudo-terminal ends at once,
        // aborted, so the wait looks at the input queue every millisecond.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            DWORD queued = 0;
            if (m_handle != INVALID_HANDLE_VALUE && QueryQueue(queued) && queued > 0)
                return true;
            if (std::chrono::steady_clock::now() >= deadline)
                return false;
            platform::SleepFor(1);
        }
    }

    bool DoRead(void* buf, size_t size, size_t& got) override
    {
        m_writer.Settle();
        DWORD n = 0;
        if (!winio::ReadNow(m_handle, m_overlapped, buf, Chunk(size), n, winio::ReadLimitMs(m_timeouts, Chunk(size))))
            return FailLast();
        got = n;
        return true;
    }

    bool DoWrite(const void* buf, size_t size, size_t& put) override
    {
        if (!WaitForCts(size))
            return true; // the write time-out passed with nothing written
        DWORD n = 0;
        bool ok;
        if (size == 1) {
            ok = m_writer.Write(*static_cast<const uint8_t*>(buf), n);
        } else {
            m_writer.Settle();
            ok = winio::WriteNow(m_handle, m_overlapped, buf, Chunk(size), n);
        }
        // Wine ends a write at its time-out as a failure with this code,
        // Windows as a success with fewer bytes: both are a time-out here.
        if (!ok && ::GetLastError() != ERROR_TIMEOUT)
            return FailLast();
        put = n; // fewer than asked: the write time-out passed
        return true;
    }

    bool DoGetModemLines(ModemLines& out) override
    {
        DWORD lines = 0;
        if (!m_noLines && !::GetCommModemStatus(m_handle, &lines)) {
            DWORD err = ::GetLastError();
            if (!NoModemLines(err))
                return Fail(err);
            m_noLines = true; // and it will not grow any: ask no more
        }
        if (m_noLines) {
            out.cts = true; // no lines: nothing holds us back
            return true;
        }
        out.cts = (lines & MS_CTS_ON) != 0;
        out.carrierDetect = (lines & MS_RLSD_ON) != 0;
        m_ctsOff = !out.cts;
        return true;
    }

    bool DoClose() override
    {
        m_writer.Abandon();
        ::SetCommState(m_handle, &m_originalState);
        ::SetCommTimeouts(m_handle, &m_originalTimeouts);
        HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) || FailLast();
    }

private:
    // With CTS flow control on and CTS off when last asked (the status gate
    // asks before every write), WriteFile would hold the thread for its
    // whole time-out. Waits for CTS here instead, as a pause: in slices with
    // the desktop answered between them, for as long as the write time-out
    // for `size` bytes. True: write now (CTS on, or the lines cannot be
    // read); false: the time-out passed.
    bool WaitForCts(size_t size)
    {
        if (!m_ctsFlow || !m_ctsOff)
            return true;
        const uint64_t limit =
            uint64_t(m_timeouts.WriteTotalTimeoutMultiplier) * size + m_timeouts.WriteTotalTimeoutConstant;
        const unsigned ms = limit == 0 || limit > UINT_MAX ? UINT_MAX : static_cast<unsigned>(limit);
        return platform::PauseUnless(ms, [this](unsigned slice) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(slice);
            for (;;) {
                DWORD lines = 0;
                if (!::GetCommModemStatus(m_handle, &lines) || (lines & MS_CTS_ON)) {
                    m_ctsOff = false;
                    return true;
                }
                if (std::chrono::steady_clock::now() >= end)
                    return false;
                platform::SleepFor(1);
            }
        });
    }

    // Asks how many bytes are waiting (clearing any pending line error).
    // False on failure (GetLastError set).
    bool QueryQueue(DWORD& queued)
    {
        DWORD errors = 0;
        COMSTAT stat{};
        if (!::ClearCommError(m_handle, &errors, &stat))
            return false;
        queued = stat.cbInQue;
        return true;
    }

    bool IsOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }
    // Usable, with every write issued so far ended.
    bool Ready()
    {
        if (!Usable())
            return false;
        m_writer.Settle();
        return true;
    }

    // One system call moves at most a DWORD's worth; callers see the rest
    // as a short transfer, as after a time-out.
    static DWORD Chunk(size_t size) { return size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size); }

    HANDLE m_handle;
    bool m_overlapped; // opened for overlapped I/O
    COMMTIMEOUTS m_timeouts; // as last set
    winio::ByteWriter m_writer;
    DCB m_originalState;
    COMMTIMEOUTS m_originalTimeouts;
    bool m_noLines = false; // the driver cannot report the status lines
    bool m_ctsFlow = false; // output waits for CTS
    bool m_ctsOff = false; // CTS was off when last asked
};

} // namespace

std::unique_ptr<Device> OpenNative(const std::string& path)
{
    // A USB port is opened for overlapped I/O, so that its writes may
    // overlap if they prove slow; where that open fails, as any other.
    auto open = [&](DWORD flags) {
        return ::CreateFileA(
            path.c_str(), GENERIC_READ | GENERIC_WRITE, 0 /* no sharing */, nullptr, OPEN_EXISTING, flags, nullptr);
    };
    bool overlapped = winio::OpenOverlapped(path);
    HANDLE handle = overlapped ? open(FILE_FLAG_OVERLAPPED) : INVALID_HANDLE_VALUE;
    if (handle == INVALID_HANDLE_VALUE) {
        overlapped = false;
        handle = open(0);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        FailLast();
        return nullptr;
    }
    // Its present settings, put back on close; a file that is not a serial
    // device has none and is refused.
    DCB state{};
    state.DCBlength = sizeof state;
    COMMTIMEOUTS timeouts{};
    if (!::GetCommState(handle, &state) || !::GetCommTimeouts(handle, &timeouts)) {
        FailLast();
        ::CloseHandle(handle);
        return nullptr;
    }
    return std::make_unique<WinDevice>(handle, overlapped, state, timeouts);
}

int NotOpenError()
{
    return ERROR_INVALID_HANDLE;
}

int TimedOutError()
{
    return ERROR_TIMEOUT;
}

std::string ErrorText(int code)
{
    char* text = nullptr;
    DWORD n =
        ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result;
    if (n && text)
        result.assign(text, n);
    ::LocalFree(text);
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
        result.pop_back();
    return result.empty() ? "Error " + std::to_string(code) : result;
}

} // namespace serial
