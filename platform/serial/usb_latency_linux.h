// How long a USB serial adapter holds the bytes it receives before passing
// them on, on Linux. An FTDI chip gathers received bytes until 62 have come
// or its latency timer runs out (16 ms unless changed): each one-byte reply
// of the modem then waits that long. The driver programs the timer to 1 ms
// while a port it serves has the low-latency flag, which a program may set
// for a port it holds; the port is given back with its flags as found.
#pragma once

#include <linux/serial.h>

#include <string>
#include <sys/types.h>

namespace serial {

// The driver's two serial-settings calls on one open port (TIOCGSERIAL,
// TIOCSSERIAL), a seam that lets tests play the driver.
class SerialInfoCalls {
public:
    virtual ~SerialInfoCalls() = default;
    // Each returns 0, or the errno of the driver's refusal.
    virtual int Get(serial_struct& out) = 0;
    virtual int Set(const serial_struct& in) = 0;
};

// The calls on the port open as `fd`.
class FdSerialInfoCalls final : public SerialInfoCalls {
public:
    explicit FdSerialInfoCalls(int fd) : m_fd(fd) { }
    int Get(serial_struct& out) override;
    int Set(const serial_struct& in) override;

private:
    int m_fd;
};

// The low-latency flag for the time a port is held. A driver without the
// calls (a pseudo-terminal, many UARTs) or one that refuses them is left as
// it was, silently: the flag only makes replies come sooner.
class LowLatency {
public:
    enum class State {
        Unknown, // not engaged yet, or the driver has no such flags (see Error())
        AlreadyOn, // found on: nothing written, nothing to put back
        SetOn, // found off and set; Restore puts the settings back
        SetRefused, // found off, and the driver would not set it
        Restored, // set by Engage, then put back by Restore
    };

    // Reads the driver's settings and, where the flag is off, writes them
    // back with it on. Never fails; State() and Error() say what happened.
    void Engage(SerialInfoCalls& calls);
    // Writes back exactly the settings Engage found, if it changed them.
    // Returns 0, or the errno of the refusal (the port is closing: nothing
    // more can be done about it; the state stays SetOn).
    int Restore(SerialInfoCalls& calls);

    State Current() const { return m_state; }
    int Error() const { return m_error; }
    // Whether the flag was on when the port was opened, and is on now
    // (false for both when the driver has no such flags).
    bool FoundOn() const { return m_state == State::AlreadyOn; }
    bool InForce() const { return m_state == State::AlreadyOn || m_state == State::SetOn; }

private:
    State m_state = State::Unknown;
    int m_error = 0;
    serial_struct m_found{}; // the whole record as read, for Restore
};

// An FTDI adapter's latency timer in milliseconds, as the driver shows it
// in sysfs for the character device `device` (<sysRoot>/dev/char/M:m/device/
// latency_timer); -1 when it shows none (not such an adapter, or no sysfs).
int LatencyTimerMs(dev_t device, const std::string& sysRoot = "/sys");

// The text of a latency_timer file as milliseconds (0 to 255), -1 when it
// is not such a number.
int ParseLatencyTimer(const std::string& text);

} // namespace serial
