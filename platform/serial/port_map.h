// Numbering of serial ports as COM1 to COM9 where the operating system has
// no such names of its own. A pure rule over a list of ports, so that the
// list can come from the system or from a test's table.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace serial {

constexpr int kComPorts = 9;

// One serial port the system knows of.
struct PortInfo {
    std::string node; // device node, e.g. /dev/ttyUSB0 (Windows: \Device\Serial0)
    std::string physicalPath; // where it hangs (udev's ID_PATH, else the sysfs path)
    int uart = -1; // k of an on-board UART /dev/ttyS<k>, else -1
    bool hardware = true; // false: a UART slot with nothing behind it
    std::string driver; // driver behind the port (Windows: its service), if known
    std::string usbVendor; // USB vendor and product ids (hex) and product name, if USB
    std::string usbProduct;
    std::string productName; // (on Windows the device's friendly name, USB or not)
    std::string name; // the system's own name for it (Windows: COM12), else empty
    int latencyTimerMs = -1; // how long a USB adapter holds received bytes (FTDI), -1 unknown
};

// What a port is, for the user: its driver, the USB vendor:product and the
// product name, those that are known ("usbser, USB 1234:5678 USB Modem"),
// and an adapter's latency timer where the system shows it (", latency
// timer 16 ms").
std::string PortSummary(const PortInfo& p);

// One line of the port list (--list-ports): the name, the device, what it
// is (left out when empty) and, in brackets, `remark`:
// "COM3  /dev/ttyUSB0  ftdi_sio, USB 0403:6001  (you may open it)".
std::string PortListLine(
    const std::string& name, const std::string& device, const std::string& what, const std::string& remark);

// For a port whose adapter holds every reply of the modem up to `ms`
// milliseconds, where the user alone can change that (Windows): what it
// costs an upgrade and where to lower it. Empty at 1 ms or less, or when
// `ms` is unknown (negative).
std::string LatencyTimerAdvice(int ms);

// A port name the user set: the path as given and the device node it leads
// to (empty when it leads nowhere that exists).
struct PortOverride {
    std::string path;
    std::string node;
};

// What one COM number stands for. An empty path: nothing.
struct ComSlot {
    std::string path;
    bool overridden = false;
    std::optional<PortInfo> port; // the enumerated port behind it, if any
};
using ComMap = std::array<ComSlot, kComPorts>; // [n - 1] is COM<n>

// Numbers `ports` as COM1..COM9: an override (overrides[n - 1], when its
// path is not empty) takes its number; an on-board UART with hardware
// keeps COM<k+1> when free; every other port (and a UART whose number is
// taken) then gets the lowest free number, in physical-path order. Ports
// without hardware, ports an override already names, and ports beyond the
// ninth number get none. Always succeeds.
ComMap NumberPorts(const std::vector<PortInfo>& ports, const std::array<PortOverride, kComPorts>& overrides);

// Orders texts with their runs of digits compared as numbers ("usb-0:2"
// before "usb-0:10"). True when `a` comes before `b`.
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace serial
