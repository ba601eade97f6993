// Regular files on Linux: opened without blocking (a FIFO would wait for a
// writer), then looked at, so that what was checked is what is read.
#include "platform/file_open.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FILE* OpenRegularFile(const std::string& path)
{
    int fd;
    while ((fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) < 0 && errno == EINTR) { }
    if (fd < 0)
        return nullptr;
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0) {
        ::close(fd);
        return nullptr;
    }
    FILE* file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}

} // namespace platform
