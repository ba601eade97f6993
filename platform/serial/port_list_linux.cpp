// Serial ports on Linux, as udev sees them.
#include "platform/serial/port_list.h"
#include "platform/serial/serial_device.h"
#include "platform/serial/usb_latency_linux.h"

#include <libudev.h>

#include <cctype>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace serial {

namespace {

struct UdevFree {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T> using UdevPtr = std::unique_ptr<T, UdevFree>;

std::string Text(const char* s)
{
    return s ? s : "";
}

// k for a name "ttyS<k>", else -1.
int UartIndex(const std::string& name)
{
    if (name.size() < 5 || name.compare(0, 4, "ttyS") != 0 || name.size() > 8)
        return -1;
    for (size_t i = 4; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i])))
            return -1;
    return std::stoi(name.substr(4));
}

// What udev knows about one tty device; false for a terminal without a
// device behind it (virtual consoles, the pty master).
bool Describe(udev_device* dev, PortInfo& p)
{
    udev_device* parent = udev_device_get_parent(dev);
    const char* node = udev_device_get_devnode(dev);
    if (!parent || !node)
        return false;
    p.node = node;
    p.physicalPath = Text(udev_device_get_property_value(dev, "ID_PATH"));
    if (p.physicalPath.empty())
        p.physicalPath = Text(udev_device_get_devpath(parent));
    p.uart = UartIndex(Text(udev_device_get_sysname(dev)));
    // A UART slot the kernel found nothing in reports type 0 (unknown).
    if (const char* type = udev_device_get_sysattr_value(dev, "type"))
        p.hardware = std::strcmp(type, "0") != 0;
    // The serial core puts devices of its own ("port", "ctrl") between a
    // UART and the device that drives it; name the latter.
    for (udev_device* up = parent; up && p.driver.empty(); up = udev_device_get_parent(up)) {
        std::string driver = Text(udev_device_get_driver(up));
        if (driver != "port" && driver != "ctrl")
            p.driver = driver;
    }
    if (p.driver.empty())
        p.driver = Text(udev_device_get_property_value(dev, "ID_USB_DRIVER"));
    if (udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device")) {
        p.usbVendor = Text(udev_device_get_sysattr_value(usb, "idVendor"));
        p.usbProduct = Text(udev_device_get_sysattr_value(usb, "idProduct"));
        p.productName = Text(udev_device_get_sysattr_value(usb, "product"));
    }
    p.latencyTimerMs = LatencyTimerMs(udev_device_get_devnum(dev));
    return true;
}

} // namespace

int AdapterLatencyTimerMs(const std::string& name)
{
    struct stat st { };
    if (::stat(DevicePath(name).c_str(), &st) != 0 || !S_ISCHR(st.st_mode))
        return -1;
    return LatencyTimerMs(st.st_rdev);
}

std::vector<PortInfo> ListSerialPorts()
{
    std::vector<PortInfo> ports;
    UdevPtr<udev> u(udev_new());
    if (!u)
        return ports;
    UdevPtr<udev_enumerate> e(udev_enumerate_new(u.get()));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "tty") < 0 || udev_enumerate_scan_devices(e.get()) < 0)
        return ports;
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get()))
    {
        UdevPtr<udev_device> dev(udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(entry)));
        PortInfo p;
        if (dev && Describe(dev.get(), p))
            ports.push_back(std::move(p));
    }
    return ports;
}

} // namespace serial
