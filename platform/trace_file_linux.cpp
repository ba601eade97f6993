// The trace file on Linux: POSIX calls, retried on EINTR.
#include "platform/trace_file.h"
#include "platform/trace_file_refusal.h"

#include "platform/serial/serial_device.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

std::string SystemText(int code)
{
    return serial::ErrorText(code);
}

class PosixFile : public OutputFile {
public:
    explicit PosixFile(int fd) : m_fd(fd) { }
    ~PosixFile() override
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool Write(std::string_view text, std::string& error) override
    {
        while (!text.empty()) {
            ssize_t n = ::write(m_fd, text.data(), text.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = SystemText(n < 0 ? errno : ENOSPC);
                return false;
            }
            text.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }
    bool Close(std::string& error) override
    {
        int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0 && errno != EINTR) {
            error = SystemText(errno);
            return false;
        }
        return true;
    }

private:
    int m_fd;
};

} // namespace

std::unique_ptr<OutputFile> CreateTraceFile(const std::string& path, std::string& error)
{
    // A name that is a device is refused before it is opened: opening a
    // serial port raises its DTR and RTS lines, O_NONBLOCK or not. What is
    // there is emptied only once the open file proved regular (no O_TRUNC),
    // in case the name changed in between; O_NONBLOCK keeps a FIFO from
    // holding the open.
    struct stat st { };
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = TraceFileRefusal(path, kTraceFileNotRegular);
        return nullptr;
    }
    // The trace holds the whole firmware image: for its owner's eyes only.
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = TraceFileRefusal(path, errno == ENXIO ? kTraceFileNotRegular : SystemText(errno));
        return nullptr;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = TraceFileRefusal(path, kTraceFileNotRegular);
        return nullptr;
    }
    // A file of ours that was there keeps no wider mode; one of another
    // user's that we may write to keeps its owner's choice.
    if (st.st_uid == ::geteuid() && (st.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0) {
        int code = errno;
        ::close(fd);
        error = TraceFileRefusal(path, SystemText(code));
        return nullptr;
    }
    if (::ftruncate(fd, 0) != 0 || ::fcntl(fd, F_SETFL, O_WRONLY) != 0) {
        int code = errno;
        ::close(fd);
        error = TraceFileRefusal(path, SystemText(code));
        return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
}

std::string SystemDescription()
{
    struct utsname u { };
    if (::uname(&u) != 0)
        return "Linux";
    return std::string(u.sysname) + " " + u.release + " " + u.machine;
}

} // namespace platform
