// Serial devices on Linux, over termios. A pseudo-terminal has no
// modem-control lines: there it behaves like a three-wire cable.
#include "platform/serial/serial_device.h"
#include "platform/serial/system_device.h"

#include "platform/pause.h"
#include "platform/serial/usb_latency_linux.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace serial {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kNoInterval = 0xFFFFFFFFu;

struct SpeedEntry {
    int32_t rate;
    speed_t code;
};
constexpr SpeedEntry kSpeeds[] = {
    {1200, B1200},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {921600, B921600},
};

bool SpeedCode(int32_t rate, speed_t& code)
{
    for (const SpeedEntry& s : kSpeeds)
        if (s.rate == rate) {
            code = s.code;
            return true;
        }
    return false;
}

int32_t SpeedRate(speed_t code)
{
    for (const SpeedEntry& s : kSpeeds)
        if (s.code == code)
            return s.rate;
    return 0;
}

// The modem-control ioctls fail with these where a device has no such lines.
bool NoModemLines(int err)
{
    return err == ENOTTY || err == EINVAL;
}

bool Fail(int err)
{
    SetLastError(err);
    return false;
}

// Milliseconds left until `deadline`, at least 0.
int MsLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Sleeps until `deadline` (no sooner).
void SleepUntil(Clock::time_point deadline)
{
    for (Clock::time_point now; (now = Clock::now()) < deadline;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        platform::SleepFor(static_cast<unsigned>(left));
    }
}

// Gives the processor away for a moment (see LinuxDevice::Write).
void LetDriverRun()
{
    const timespec moment{0, 20000};
    ::nanosleep(&moment, nullptr);
}

// Waits for `events` on fd until the deadline. Returns 1 ready, 0 time-out,
// -1 error (errno set; a hang-up counts as EIO).
int WaitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, MsLeft(deadline));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            return 0;
        if (p.revents & (POLLERR | POLLNVAL)) {
            errno = EIO;
            return -1;
        }
        if (p.revents & events)
            return 1;
        if (p.revents & POLLHUP) {
            errno = EIO;
            return -1;
        }
    }
}

// What poll() reports for fd at once: 0 for nothing, else its revents
// (POLLIN, POLLHUP, POLLERR, POLLNVAL); -1 if poll() failed (errno set).
short Events(int fd)
{
    pollfd p{fd, POLLIN, 0};
    int n;
    while ((n = ::poll(&p, 1, 0)) < 0 && errno == EINTR) { }
    if (n < 0)
        return -1;
    return n > 0 ? p.revents : 0;
}

// True if the line behind fd has hung up or failed (poll's POLLHUP/POLLERR).
bool HungUp(int fd)
{
    const short events = Events(fd);
    return events > 0 && (events & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

class LinuxDevice final : public SystemDevice {
public:
    LinuxDevice(int fd, const termios& original) : m_fd(fd), m_original(original)
    {
        // A USB adapter's latency timer would hold every reply of the
        // modem for up to 16 ms: ask the driver for low latency while the
        // port is ours.
        struct stat st { };
        if (::fstat(m_fd, &st) == 0)
            m_device = st.st_rdev;
        const int timerFound = LatencyTimerMs(m_device);
        FdSerialInfoCalls calls(m_fd);
        m_lowLatency.Engage(calls);
        m_latency.found = LatencyText(m_lowLatency.FoundOn(), timerFound);
        m_latency.inForce = LatencyText(m_lowLatency.InForce(), LatencyTimerMs(m_device));
    }
    ~LinuxDevice() override
    {
        if (m_fd >= 0) // a device closed by its owner stays closed, error untouched
            Close();
    }

    bool DoSetQueueSizes(size_t, size_t) override
    {
        // The kernel sizes its own tty buffers; nothing to set.
        return true;
    }

    bool DoPurge() override { return ::tcflush(m_fd, TCIOFLUSH) == 0 || Fail(errno); }

    bool DoSetTimeouts(const Timeouts& t) override
    {
        m_timeouts = t;
        return true;
    }

    bool DoGetLineState(LineState& out) override
    {
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0)
            return Fail(errno);
        out.baudRate = SpeedRate(::cfgetospeed(&tio));
        switch (tio.c_cflag & CSIZE) {
        case CS5:
            out.dataBits = 5;
            break;
        case CS6:
            out.dataBits = 6;
            break;
        case CS7:
            out.dataBits = 7;
            break;
        default:
            out.dataBits = 8;
            break;
        }
        out.parity = (tio.c_cflag & PARENB) != 0;
        out.stopBits = (tio.c_cflag & CSTOPB) ? 2 : 1;
        out.ctsOutputFlow = (tio.c_cflag & CRTSCTS) != 0;
        out.dsrOutputFlow = false; // Linux has no DSR flow control
        out.rawMode = !(tio.c_lflag & (ICANON | ECHO | ISIG)) && !(tio.c_oflag & OPOST);
        int lines = 0;
        if (::ioctl(m_fd, TIOCMGET, &lines) == 0) {
            out.dtrOn = (lines & TIOCM_DTR) != 0;
            out.rtsOn = (lines & TIOCM_RTS) != 0;
        } else if (!NoModemLines(errno)) {
            return Fail(errno);
        }
        return true;
    }

    bool DoSetLineState(const LineState& s) override
    {
        speed_t speed;
        if (!SpeedCode(s.baudRate, speed) || s.dataBits < 5 || s.dataBits > 8 || s.dsrOutputFlow)
            return Fail(EINVAL);
        termios tio{};
        if (::tcgetattr(m_fd, &tio) != 0)
            return Fail(errno);
        if (s.rawMode)
            ::cfmakeraw(&tio);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
        tio.c_cflag |= kSizes[s.dataBits - 5];
        if (s.parity)
            tio.c_cflag |= PARENB;
        if (s.stopBits == 2)
            tio.c_cflag |= CSTOPB;
        if (s.ctsOutputFlow)
            tio.c_cflag |= CRTSCTS;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
            return Fail(errno);
        if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
            return Fail(errno);
        return SetLine(TIOCM_DTR, s.dtrOn) && SetLine(TIOCM_RTS, s.rtsOn);
    }

    bool DoClearError(Status& out) override
    {
        // The transfer asks this about once a millisecond while it waits for
        // a reply, nearly always of a quiet line: one poll() answers that,
        // and tells a hang-up apart too. Before it answers, poll() also hands
        // on bytes still on their way through the driver, which TIOCINQ
        // would not count yet. Only a line with something to say is asked
        // for its count.
        const short events = Events(m_fd);
        if (events < 0)
            return Fail(errno);
        if (events == 0)
            return true;
        int queued = 0;
        if (::ioctl(m_fd, TIOCINQ, &queued) != 0)
            return Fail(errno);
        // A vanished device (hung-up line, unplugged adapter) is an error,
        // not an empty queue; bytes it left are still handed over.
        if (queued <= 0 && (events & (POLLHUP | POLLERR | POLLNVAL)))
            return Fail(EIO);
        out.inputQueued = queued > 0 ? static_cast<size_t>(queued) : 0;
        return true;
    }

    bool DoRead(void* buf, size_t size, size_t& got) override
    {
        const Timeouts& t = m_timeouts;
        const bool immediate =
            t.readIntervalMs == kNoInterval && t.readTotalMultiplierMs == 0 && t.readTotalConstantMs == 0;
        auto deadline =
            Clock::now() + std::chrono::milliseconds(uint64_t(t.readTotalMultiplierMs) * size + t.readTotalConstantMs);
        auto* out = static_cast<unsigned char*>(buf);
        while (got < size) {
            ssize_t n = ::read(m_fd, out + got, size - got);
            if (n > 0) {
                got += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return Fail(errno);
            // Nothing waiting. With VMIN = VTIME = 0 a tty says so with 0
            // rather than EAGAIN, so only poll() tells a hang-up apart.
            if (HungUp(m_fd))
                return Fail(EIO);
            if (immediate)
                break;
            int ready = WaitFor(m_fd, POLLIN, deadline);
            if (ready < 0)
                return Fail(errno);
            if (ready == 0)
                break; // time-out: a success with fewer bytes
        }
        return true;
    }

    bool DoWrite(const void* buf, size_t size, size_t& put) override
    {
        const Timeouts& t = m_timeouts;
        uint64_t limit = uint64_t(t.writeTotalMultiplierMs) * size + t.writeTotalConstantMs;
        auto deadline = limit ? Clock::now() + std::chrono::milliseconds(limit) : Clock::time_point::max();
        auto* in = static_cast<const unsigned char*>(buf);
        // The first byte after a quiet spell (a packet's header) starts the
        // line. Some drivers (pseudo-terminals among them) pass written bytes
        // on from deferred kernel work, which a writer that goes straight on
        // writing the rest holds back behind itself for a millisecond or
        // more. A moment's sleep after that byte lets the work run; it is
        // shorter than the byte itself takes on the line at 115200 bit/s.
        const Clock::time_point now = Clock::now();
        const bool startsBurst = now - m_lastWrite >= std::chrono::milliseconds(1);
        m_lastWrite = now;
        while (put < size) {
            ssize_t n = ::write(m_fd, in + put, size - put);
            if (n > 0) {
                put += static_cast<size_t>(n);
                if (startsBurst && put == size)
                    LetDriverRun();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN)
                return Fail(errno);
            int ready = WaitForRoom(deadline, limit == 0);
            if (ready < 0)
                return Fail(errno);
            if (ready == 0)
                break; // time-out: a success with fewer bytes
        }
        return true;
    }

    // Waits for room to write (the driver's CTS flow control may hold the
    // line) until the deadline, or for ever with `endless`, as a pause: in
    // slices with the desktop answered between them. Returns 1 room, 0
    // time-out, -1 error (errno set).
    int WaitForRoom(Clock::time_point deadline, bool endless)
    {
        int ready = 0;
        const unsigned ms = endless ? UINT_MAX : static_cast<unsigned>(MsLeft(deadline));
        platform::PauseUnless(ms, [&](unsigned slice) {
            ready = WaitFor(m_fd, POLLOUT, std::min(deadline, Clock::now() + std::chrono::milliseconds(slice)));
            return ready != 0;
        });
        return ready;
    }

    bool DoGetModemLines(ModemLines& out) override
    {
        int lines = 0;
        // A device without modem-control lines never grows any: asking once
        // is enough (the gate asks before every byte).
        if (m_noModemLines || ::ioctl(m_fd, TIOCMGET, &lines) != 0) {
            if (!m_noModemLines && !NoModemLines(errno))
                return Fail(errno);
            m_noModemLines = true;
            out.cts = true; // no lines: nothing holds us back
            return true;
        }
        out.cts = (lines & TIOCM_CTS) != 0;
        out.carrierDetect = (lines & TIOCM_CD) != 0;
        return true;
    }

    bool WaitForInput(unsigned ms) override
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
        while (m_fd >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            const timespec span{
                static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
            pollfd p{m_fd, POLLIN, 0};
            const int n = ::ppoll(&p, 1, &span, nullptr);
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0)
                continue; // the deadline check above decides
            if (n > 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL)) && (p.revents & POLLIN))
                return true;
            // A hung-up or failing line may still hold bytes; otherwise the
            // wait lasts its full time and the next status query reports it.
            int queued = 0;
            if (n > 0 && ::ioctl(m_fd, TIOCINQ, &queued) == 0 && queued > 0)
                return true;
            break;
        }
        SleepUntil(deadline);
        return false;
    }

    bool DoClose() override
    {
        FdSerialInfoCalls calls(m_fd);
        m_lowLatency.Restore(calls); // a refusal now changes nothing for anyone
        ::tcsetattr(m_fd, TCSANOW, &m_original);
        ::ioctl(m_fd, TIOCNXCL);
        ::flock(m_fd, LOCK_UN);
        int rc = ::close(m_fd);
        int err = errno;
        m_fd = -1;
        return rc == 0 || err == EINTR || Fail(err);
    }

    LatencySetting Latency() const override { return m_latency; }

private:
    // "low-latency off, latency timer 16 ms"; without the driver's flags,
    // "no low-latency flag (the system's words)".
    std::string LatencyText(bool on, int timerMs) const
    {
        std::string text = m_lowLatency.Current() == LowLatency::State::Unknown
            ? "no low-latency flag (" + ErrorText(m_lowLatency.Error()) + ")"
            : on ? "low-latency on"
                 : "low-latency off";
        if (m_lowLatency.Current() == LowLatency::State::SetRefused && !on)
            text += " (setting it: " + ErrorText(m_lowLatency.Error()) + ")";
        if (timerMs >= 0)
            text += ", latency timer " + std::to_string(timerMs) + " ms";
        return text;
    }

    bool IsOpen() const override { return m_fd >= 0; }

    bool SetLine(int line, bool on)
    {
        if (::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &line) == 0 || NoModemLines(errno))
            return true;
        return Fail(errno);
    }

    int m_fd;
    termios m_original;
    Timeouts m_timeouts;
    bool m_noModemLines = false;
    Clock::time_point m_lastWrite{};
    dev_t m_device = 0;
    LowLatency m_lowLatency;
    LatencySetting m_latency;
};

} // namespace

std::unique_ptr<Device> OpenNative(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(errno);
        return nullptr;
    }
    termios original{};
    if (::tcgetattr(fd, &original) != 0) { // not a terminal (a plain file, say)
        SetLastError(errno);
        ::close(fd);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SetLastError(errno == EWOULDBLOCK ? EBUSY : errno);
        ::close(fd);
        return nullptr;
    }
    if (::ioctl(fd, TIOCEXCL) != 0 && !NoModemLines(errno)) {
        SetLastError(errno);
        ::flock(fd, LOCK_UN);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<LinuxDevice>(fd, original);
}

int NotOpenError()
{
    return EBADF;
}

int TimedOutError()
{
    return ETIMEDOUT;
}

std::string ErrorText(int code)
{
    char buf[256];
    // The GNU strerror_r returns the text, which may not be in buf.
    return strerror_r(code, buf, sizeof buf);
}

} // namespace serial
