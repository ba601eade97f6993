// The parts of the serial layer that do not depend on the operating system:
// port-name mapping, the replaceable opener and the last-error record.
#include "platform/serial/serial_device.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace serial {

namespace {
thread_local int t_lastError = 0;

Opener& CurrentOpener()
{
    static Opener opener;
    return opener;
}
} // namespace

std::string DevicePath(const std::string& name)
{
    if (name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '9') {
        std::string var = "QUILVEX_COM" + name.substr(3);
        if (const char* mapped = std::getenv(var.c_str()); mapped && *mapped)
            return mapped;
        return "/dev/ttyS" + std::to_string(name[3] - '1');
    }
    return name;
}

std::unique_ptr<Device> Open(const std::string& name)
{
    if (CurrentOpener())
        return CurrentOpener()(name);
    return OpenNative(DevicePath(name));
}

void SetOpener(Opener opener)
{
    CurrentOpener() = std::move(opener);
}

int LastError()
{
    return t_lastError;
}

void SetLastError(int code)
{
    t_lastError = code;
}

std::string ErrorText(int code)
{
    char buf[256];
    // The GNU strerror_r returns the text, which may not be in buf.
    return strerror_r(code, buf, sizeof buf);
}

} // namespace serial
