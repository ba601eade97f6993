#include "platform/ui/console/console_io.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace console {

namespace {
int Fd(Stream stream)
{
    return stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO;
}
} // namespace

bool InputIsTerminal()
{
    return ::isatty(STDIN_FILENO) == 1;
}

bool IsTerminal(Stream stream)
{
    return ::isatty(Fd(stream)) == 1;
}

bool ReadLine(std::string& line)
{
    line.clear();
    // A byte at a time: nothing past the line is taken from a shared input.
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) { // an input left non-blocking by another program
            pollfd p{STDIN_FILENO, POLLIN, 0};
            ::poll(&p, 1, -1);
            continue;
        }
        if (n <= 0)
            return false;
        if (c == '\n')
            return true;
        if (c != '\r')
            line += c;
    }
}

bool WriteAll(Stream stream, std::string_view text)
{
    const int fd = Fd(stream);
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n > 0) {
            text.remove_prefix(static_cast<size_t>(n));
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, -1) < 0 && errno != EINTR)
                return false;
            if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
                return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false; // EIO from a hung-up terminal, EPIPE, ...
        }
    }
    return true;
}

} // namespace console
