#include "platform/serial/usb_latency_linux.h"

#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

namespace serial {

namespace {

int Ioctl(int fd, unsigned long request, void* arg)
{
    while (::ioctl(fd, request, arg) != 0) {
        if (errno != EINTR)
            return errno != 0 ? errno : EIO;
    }
    return 0;
}

} // namespace

int FdSerialInfoCalls::Get(serial_struct& out)
{
    return Ioctl(m_fd, TIOCGSERIAL, &out);
}

int FdSerialInfoCalls::Set(const serial_struct& in)
{
    serial_struct copy = in; // the call takes a pointer to a mutable record
    return Ioctl(m_fd, TIOCSSERIAL, &copy);
}

void LowLatency::Engage(SerialInfoCalls& calls)
{
    m_state = State::Unknown;
    m_error = calls.Get(m_found);
    if (m_error != 0)
        return;
    if (m_found.flags & ASYNC_LOW_LATENCY) {
        m_state = State::AlreadyOn;
        return;
    }
    // Everything else as read: a driver refuses an unprivileged caller any
    // change outside the user's flags.
    serial_struct wanted = m_found;
    wanted.flags |= ASYNC_LOW_LATENCY;
    m_error = calls.Set(wanted);
    m_state = m_error == 0 ? State::SetOn : State::SetRefused;
}

int LowLatency::Restore(SerialInfoCalls& calls)
{
    if (m_state != State::SetOn)
        return 0;
    const int error = calls.Set(m_found);
    if (error == 0)
        m_state = State::Restored;
    return error;
}

int ParseLatencyTimer(const std::string& text)
{
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == '\n' || text[end - 1] == ' '))
        --end;
    int ms = -1;
    auto [p, ec] = std::from_chars(text.data(), text.data() + end, ms);
    if (end == 0 || ec != std::errc() || p != text.data() + end || ms < 0 || ms > 255)
        return -1;
    return ms;
}

int LatencyTimerMs(dev_t device, const std::string& sysRoot)
{
    const std::string path = sysRoot + "/dev/char/" + std::to_string(major(device)) + ":" +
        std::to_string(minor(device)) + "/device/latency_timer";
    std::ifstream in(path);
    if (!in)
        return -1;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseLatencyTimer(text);
}

} // namespace serial
