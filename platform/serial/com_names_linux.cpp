// COM names on Linux: QUILVEX_COM<n> when set, otherwise the machine's
// serial ports numbered the way Windows numbers them.
#include "platform/serial/com_names.h"

#include <cerrno>
#include <cstdlib>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/serial/port_list.h"
#include "platform/serial/serial_device.h"

namespace serial {

namespace {

// n for "COM<n>" with n in 1..9, else 0.
int ComNumber(const std::string& name)
{
    if (name.size() == 4 && name.compare(0, 3, "COM") == 0 && name[3] >= '1' && name[3] <= '9')
        return name[3] - '0';
    return 0;
}

std::string OverrideOf(int n)
{
    std::string var = "QUILVEX_COM" + std::to_string(n);
    const char* path = std::getenv(var.c_str());
    return path ? path : "";
}

std::string RealPath(const std::string& path)
{
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return {};
    std::string out = real;
    std::free(real);
    return out;
}

// The group that may read and write a device node, when it has a name.
std::string GroupOf(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    const group* g = ::getgrgid(st.st_gid);
    return g ? g->gr_name : "";
}

std::string WhatItIs(const ComSlot& slot)
{
    std::string what;
    if (slot.port) {
        PortInfo p = *slot.port;
        if (p.driver.empty())
            p.driver = "serial port";
        what = PortSummary(p);
    }
    if (slot.overridden)
        what += what.empty() ? "set by the user" : ", set by the user";
    return what;
}

std::string Access(const std::string& path)
{
    if (::access(path.c_str(), R_OK | W_OK) == 0)
        return "you may open it";
    int err = errno;
    if (err == EACCES || err == EPERM)
        return "you may not open it";
    return ErrorText(err);
}

} // namespace

ComMap CurrentComMap()
{
    std::array<PortOverride, kComPorts> overrides;
    bool all = true;
    for (int n = 1; n <= kComPorts; ++n) {
        overrides[n - 1].path = OverrideOf(n);
        if (overrides[n - 1].path.empty())
            all = false;
        else
            overrides[n - 1].node = RealPath(overrides[n - 1].path);
    }
    // With every name set there is nothing to number.
    return NumberPorts(all ? std::vector<PortInfo>{} : ListSerialPorts(), overrides);
}

std::string DevicePath(const std::string& name)
{
    int n = ComNumber(name);
    if (n == 0)
        return name;
    if (std::string path = OverrideOf(n); !path.empty())
        return path;
    // A name that stands for nothing opens nothing (ENOENT).
    return CurrentComMap()[n - 1].path;
}

std::vector<std::string> DescribeComPorts()
{
    std::vector<std::string> lines;
    ComMap map = CurrentComMap();
    for (int n = 1; n <= kComPorts; ++n) {
        const ComSlot& slot = map[n - 1];
        if (slot.path.empty())
            continue;
        lines.push_back(PortListLine("COM" + std::to_string(n), slot.path, WhatItIs(slot), Access(slot.path)));
    }
    return lines;
}

std::string RefusalNote(const std::string& portName, int code)
{
    if (code != EACCES && code != EPERM && code != EBUSY)
        return {};
    std::string port = portName;
    std::string path = DevicePath(portName);
    if (path != portName)
        port += " (" + path + ")";
    if (code == EACCES || code == EPERM) {
        std::string group = GroupOf(path);
        if (group.empty() || group == "root")
            group = "dialout";
        return port + ": permission denied. Add your user to the " + group + " group and log in again.";
    }
    return port + " is in use by another program.";
}

std::string PortsOutOfReachNote()
{
    return {}; // every port the search could reach has a number of 1 to 9
}

} // namespace serial
