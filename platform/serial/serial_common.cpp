// The parts of the serial layer that do not depend on the operating system:
// the replaceable opener and the last-error record.
#include "platform/serial/serial_device.h"

#include <utility>

#include "platform/pause.h"

namespace serial {

namespace {
thread_local int t_lastError = 0;

Opener& CurrentOpener()
{
    static Opener opener;
    return opener;
}
} // namespace

bool Device::WaitForInput(unsigned ms)
{
    platform::SleepFor(ms);
    return false;
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

Opener GetOpener()
{
    return CurrentOpener();
}

int LastError()
{
    return t_lastError;
}

void SetLastError(int code)
{
    t_lastError = code;
}

} // namespace serial
