// On Windows COM names are the system's own. What the user is told about
// them: the ports present with what they are, a port that would not open,
// and ports numbered beyond the search.
#include "platform/serial/com_names.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/serial/port_list.h"
#include "platform/serial/serial_device.h"

namespace serial {

namespace {

// n for "COM<n>" (any number of digits), else 0.
int ComNumber(const std::string& name)
{
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos)
        return 0;
    return std::stoi(name.substr(3));
}

// A code that says there is no port of that name. Wine lists and opens a
// COM name that leads nowhere and only fails its set-up, with invalid
// function; Windows would not list such a name at all.
bool Absent(int code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_INVALID_FUNCTION;
}

bool InUse(int code)
{
    return code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION;
}

// 0 when the port opens now (it is closed again at once), else the code
// the open failed with.
int OpenCode(const std::string& name)
{
    std::unique_ptr<Device> device = OpenNative(DevicePath(name));
    return device ? 0 : LastError();
}

// The listed port of that name, if any.
const PortInfo* Find(const std::vector<PortInfo>& ports, const std::string& name)
{
    for (const PortInfo& p : ports)
        if (::lstrcmpiA(p.name.c_str(), name.c_str()) == 0)
            return &p;
    return nullptr;
}

// "COM3 (USB Serial Port)": the name and its friendly name, without the
// friendly name's own "(COM3)".
std::string Label(const std::string& name, const PortInfo* port)
{
    if (!port || port->productName.empty())
        return name;
    std::string friendly = port->productName;
    const std::string own = " (" + name + ")";
    if (friendly.size() > own.size() && friendly.compare(friendly.size() - own.size(), own.size(), own) == 0)
        friendly.resize(friendly.size() - own.size());
    return name + " (" + friendly + ")";
}

} // namespace

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
    for (const PortInfo& p : ListSerialPorts()) {
        const int code = OpenCode(p.name);
        if (Absent(code))
            continue;
        std::string remark = code == 0 ? "you may open it"
            : InUse(code)              ? "in use by another program"
                                       : ErrorText(code);
        if (ComNumber(p.name) > kComPorts)
            remark += "; above COM9, not searched";
        if (std::string advice = LatencyTimerAdvice(p.latencyTimerMs); !advice.empty())
            remark += "; " + advice;
        lines.push_back(PortListLine(p.name, p.node.empty() ? DevicePath(p.name) : p.node, PortSummary(p), remark));
    }
    return lines;
}

std::string RefusalNote(const std::string& portName, int code)
{
    if (Absent(code))
        return {};
    const std::vector<PortInfo> ports = ListSerialPorts();
    const PortInfo* port = Find(ports, portName);
    if (InUse(code))
        return Label(portName, port) + " is in use by another program: close that program, then start this one again.";
    if (!port)
        return {}; // not a port of this system
    return Label(portName, port) + " could not be opened: " + ErrorText(code);
}

std::string PortsOutOfReachNote()
{
    std::vector<std::string> labels;
    const std::vector<PortInfo> ports = ListSerialPorts();
    for (const PortInfo& p : ports)
        if (ComNumber(p.name) > kComPorts && !Absent(OpenCode(p.name)))
            labels.push_back(Label(p.name, &p));
    if (labels.empty())
        return {};
    std::string names = labels[0];
    for (size_t i = 1; i < labels.size(); ++i)
        names += (i + 1 == labels.size() ? " and " : ", ") + labels[i];
    return names + (labels.size() == 1 ? " is" : " are") +
        " numbered above COM9, where the search for the modem ends. If the modem is there, give its port "
        "a number from 1 to 9 in Device Manager: the port's Properties, Port Settings, Advanced, COM Port "
        "Number (for a modem listed under Modems: its Properties, Advanced, Advanced Port Settings); then "
        "start this program again.";
}

} // namespace serial
