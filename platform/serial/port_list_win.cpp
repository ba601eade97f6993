// Serial ports on Windows: the names in the registry's serial device map,
// described by SetupAPI where it knows the device, under the "Ports" or
// the "Modem" device class (a USB modem with a modem driver is only a
// modem, its COM name in its driver key's AttachedTo value).
#include "platform/serial/port_list.h"
#include "platform/serial/port_list_win.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace serial {

namespace {

// The two device classes, spelled out so as not to need devguid's own.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID kModemClass = {0x4d36e96d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// A string value of an open key; empty when missing or not a string.
std::string StringValue(HKEY key, const char* name)
{
    char buf[512];
    DWORD type = 0, size = sizeof buf - 1;
    if (::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buf[std::min<DWORD>(size, sizeof buf - 1)] = '\0';
    return buf;
}

// The ports of the serial device map: "\Device\Serial0" = "COM1".
std::vector<PortInfo> DeviceMap()
{
    std::vector<PortInfo> ports;
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD i = 0;; ++i) {
        char name[256], data[256];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        LONG rc = ::RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[std::min<DWORD>(dataSize, sizeof data - 1)] = '\0';
        PortInfo p;
        p.node = name;
        p.name = data;
        if (!p.name.empty())
            ports.push_back(std::move(p));
    }
    ::RegCloseKey(key);
    return ports;
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& dev, DWORD property)
{
    char buf[1024] = {};
    DWORD type = 0;
    if (!::SetupDiGetDeviceRegistryPropertyA(
            set, &dev, property, &type, reinterpret_cast<BYTE*>(buf), sizeof buf - 2, nullptr))
        return {};
    return buf; // a multi-string's first entry
}

// The COM name a device of the class stands for: PortName in its device
// key (ports) or AttachedTo in its driver key (modems). `latencyMs`
// becomes the latency timer its device key holds, -1 if none.
std::string ComNameOf(HDEVINFO set, SP_DEVINFO_DATA& dev, int& latencyMs)
{
    latencyMs = -1;
    for (DWORD keyType : {DWORD(DIREG_DEV), DWORD(DIREG_DRV)}) {
        HKEY key = ::SetupDiOpenDevRegKey(set, &dev, DICS_FLAG_GLOBAL, 0, keyType, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        std::string name = StringValue(key, "PortName");
        if (name.empty())
            name = StringValue(key, "AttachedTo");
        if (keyType == DIREG_DEV)
            latencyMs = RegistryLatencyTimer(key);
        ::RegCloseKey(key);
        if (!name.empty())
            return name;
    }
    return {};
}

// The four hex digits after `tag` ("VID_") in a hardware id, upper case.
std::string IdAfter(const std::string& hardwareId, const char* tag)
{
    std::string upper = hardwareId;
    std::transform(
        upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    size_t at = upper.find(tag);
    if (at == std::string::npos || upper.size() < at + 8)
        return {};
    std::string id = upper.substr(at + 4, 4);
    return std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isxdigit(c); }) ? id : "";
}

// Fills in what SetupAPI says of the present devices of `cls` whose COM
// name is among `ports` and not yet `described`.
void Describe(const GUID& cls, std::vector<PortInfo>& ports, std::vector<bool>& described)
{
    HDEVINFO set = ::SetupDiGetClassDevsA(&cls, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
        int latencyMs = -1;
        std::string com = ComNameOf(set, dev, latencyMs);
        auto port = std::find_if(ports.begin(), ports.end(),
            [&](const PortInfo& p) { return !com.empty() && ::lstrcmpiA(p.name.c_str(), com.c_str()) == 0; });
        if (port == ports.end() || described[static_cast<size_t>(port - ports.begin())])
            continue;
        described[static_cast<size_t>(port - ports.begin())] = true;
        port->productName = DeviceProperty(set, dev, SPDRP_FRIENDLYNAME);
        if (port->productName.empty())
            port->productName = DeviceProperty(set, dev, SPDRP_DEVICEDESC);
        port->driver = DeviceProperty(set, dev, SPDRP_SERVICE);
        port->latencyTimerMs = latencyMs;
        std::string hardwareId = DeviceProperty(set, dev, SPDRP_HARDWAREID);
        port->usbVendor = IdAfter(hardwareId, "VID_");
        port->usbProduct = port->usbVendor.empty() ? "" : IdAfter(hardwareId, "PID_");
        if (port->usbProduct.empty())
            port->usbVendor.clear();
    }
    ::SetupDiDestroyDeviceInfoList(set);
}

} // namespace

int RegistryLatencyTimer(HKEY key)
{
    DWORD value = 0, type = 0, size = sizeof value;
    if (::RegQueryValueExA(key, "LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value || value > 255)
        return -1;
    return static_cast<int>(value);
}

std::vector<PortInfo> ListSerialPorts()
{
    std::vector<PortInfo> ports = DeviceMap();
    // A modem on a port of its own is described as the port it is on.
    std::vector<bool> described(ports.size(), false);
    Describe(kPortsClass, ports, described);
    Describe(kModemClass, ports, described);
    std::sort(
        ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.name, b.name); });
    return ports;
}

int AdapterLatencyTimerMs(const std::string& name)
{
    for (const PortInfo& p : ListSerialPorts())
        if (::lstrcmpiA(p.name.c_str(), name.c_str()) == 0)
            return p.latencyTimerMs;
    return -1;
}

} // namespace serial
