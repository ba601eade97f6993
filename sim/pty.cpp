#include "sim/pty.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace sim {
namespace {

std::string describe(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool make_raw(int fd, std::string* error)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        *error = describe("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        *error = describe("tcsetattr");
        return false;
    }
    return true;
}

} // namespace

bool open_pty(PtyPair& out, std::string* error)
{
    PtyPair pty;
    pty.master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.master < 0) {
        *error = describe("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(pty.master) != 0 || unlockpt(pty.master) != 0 || ptsname_r(pty.master, name, sizeof name) != 0) {
        *error = describe("grantpt/unlockpt/ptsname");
        close_pty(pty);
        return false;
    }
    pty.slave_path = name;
    pty.slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pty.slave < 0) {
        *error = describe("open pty slave");
        close_pty(pty);
        return false;
    }
    const int flags = fcntl(pty.master, F_GETFL);
    if (flags < 0 || fcntl(pty.master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = describe("fcntl O_NONBLOCK");
        close_pty(pty);
        return false;
    }
    if (!make_raw(pty.slave, error)) {
        close_pty(pty);
        return false;
    }
    out = std::move(pty);
    return true;
}

void close_pty(PtyPair& pty)
{
    if (pty.master >= 0)
        ::close(pty.master);
    if (pty.slave >= 0)
        ::close(pty.slave);
    pty.master = pty.slave = -1;
}

bool PtyLink::create(const std::string& path, const std::string& target, std::string* error)
{
    remove();
    struct stat st { };
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        *error = path + " exists and is not a symlink";
        return false;
    }
    // Build the link beside its final name, then rename it over any old one.
    const std::string temp = path + ".tmp" + std::to_string(getpid());
    ::unlink(temp.c_str());
    if (::symlink(target.c_str(), temp.c_str()) != 0) {
        *error = describe(("symlink " + path).c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        *error = describe(("rename to " + path).c_str());
        ::unlink(temp.c_str());
        return false;
    }
    path_ = path;
    target_ = target;
    return true;
}

void PtyLink::remove()
{
    if (path_.empty())
        return;
    std::error_code ec;
    if (std::filesystem::read_symlink(path_, ec) == target_ && !ec)
        ::unlink(path_.c_str());
    path_.clear();
    target_.clear();
}

} // namespace sim
