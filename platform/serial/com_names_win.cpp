// On Windows COM names are the system's own.
#include "platform/serial/com_names.h"
#include "platform/serial/serial_device.h"

namespace serial {

std::string DevicePath(const std::string& name)
{
    // "\\.\COMn" reaches every port, COM10 and above included.
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0 &&
        name.find_first_not_of("0123456789", 3) == std::string::npos)
        return "\\\\.\\" + name;
    return name;
}

ComMap CurrentComMap()
{
    ComMap map;
    for (int n = 1; n <= kComPorts; ++n)
        map[n - 1].path = "COM" + std::to_string(n);
    return map;
}

std::vector<std::string> DescribeComPorts()
{
    std::vector<std::string> lines;
    for (const ComSlot& slot : CurrentComMap())
        lines.push_back(slot.path);
    return lines;
}

std::string RefusalNote(const std::string&, int)
{
    return {};
}

} // namespace serial
