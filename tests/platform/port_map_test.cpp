// COM numbering of the system's serial ports, as tables: ports in, the
// COM1..COM9 paths out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/serial/port_map.h"

namespace {

using serial::PortInfo;
using serial::PortOverride;
using Paths = std::vector<std::string>; // COM1.. up to the last used one

PortInfo Uart(int k, bool hardware = true)
{
    PortInfo p;
    p.node = "/dev/ttyS" + std::to_string(k);
    p.physicalPath = "pnp-00:0" + std::to_string(k);
    p.uart = k;
    p.hardware = hardware;
    return p;
}

PortInfo Usb(const std::string& node, const std::string& usbPort)
{
    PortInfo p;
    p.node = node;
    p.physicalPath = "pci-0000:00:14.0-usb-0:" + usbPort + ":1.0";
    return p;
}

struct Case {
    const char* name;
    std::vector<PortInfo> ports;
    std::vector<std::pair<int, PortOverride>> overrides; // COM number, override
    Paths expected;
};

Paths Numbered(const Case& c)
{
    std::array<PortOverride, serial::kComPorts> overrides;
    for (const auto& [n, o] : c.overrides)
        overrides[n - 1] = o;
    serial::ComMap map = serial::NumberPorts(c.ports, overrides);
    Paths paths;
    for (const serial::ComSlot& slot : map)
        paths.push_back(slot.path);
    while (!paths.empty() && paths.back().empty())
        paths.pop_back();
    return paths;
}

TEST(PortMap, NumbersPortsTheWayTheTableSays)
{
    std::vector<PortInfo> ten;
    for (int k = 0; k < 10; ++k)
        ten.push_back(Usb("/dev/ttyUSB" + std::to_string(k), std::to_string(k + 1)));

    const Case cases[] = {
        {"nothing at all", {}, {}, {}},
        {"one USB modem and no on-board hardware", {Uart(0, false), Usb("/dev/ttyACM0", "3")}, {}, {"/dev/ttyACM0"}},
        {"ttyS0 keeps COM1, two adapters follow in physical-path order",
            {Usb("/dev/ttyUSB0", "10"), Uart(0), Usb("/dev/ttyUSB1", "2")}, {},
            {"/dev/ttyS0", "/dev/ttyUSB1", "/dev/ttyUSB0"}},
        {"a phantom ttyS1 gets no number, ttyS2 keeps COM3",
            {Uart(0), Uart(1, false), Uart(2), Usb("/dev/ttyACM0", "1")}, {},
            {"/dev/ttyS0", "/dev/ttyACM0", "/dev/ttyS2"}},
        {"an override of COM2 wins, the enumerated port takes the next free number",
            {Uart(1), Usb("/dev/ttyACM0", "1")}, {{2, {"/dev/serial/by-id/usb-modem", ""}}},
            {"/dev/ttyACM0", "/dev/serial/by-id/usb-modem", "/dev/ttyS1"}},
        {"a port an override already names is not numbered twice", {Usb("/dev/ttyUSB0", "1"), Usb("/dev/ttyUSB1", "2")},
            {{3, {"/dev/serial/by-id/adapter", "/dev/ttyUSB0"}}}, {"/dev/ttyUSB1", "", "/dev/serial/by-id/adapter"}},
        {"more than nine ports: the first nine by the rule", ten, {},
            {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3", "/dev/ttyUSB4", "/dev/ttyUSB5",
                "/dev/ttyUSB6", "/dev/ttyUSB7", "/dev/ttyUSB8"}},
        {"a UART beyond COM9 queues with the rest", {Uart(12), Usb("/dev/ttyACM0", "1")}, {},
            {"/dev/ttyACM0", "/dev/ttyS12"}},
        {"ports without a physical path come last, by node",
            {PortInfo{"/dev/ttyGS10", "", -1, true, "", "", "", "", "", -1},
                PortInfo{"/dev/ttyGS9", "", -1, true, "", "", "", "", "", -1}, Usb("/dev/ttyACM0", "7")},
            {}, {"/dev/ttyACM0", "/dev/ttyGS9", "/dev/ttyGS10"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Numbered(c), c.expected) << c.name;
}

TEST(PortMap, KeepsWhatIsKnownAboutEachPort)
{
    PortInfo modem = Usb("/dev/ttyACM0", "4");
    modem.driver = "cdc_acm";
    modem.usbVendor = "1234";
    std::array<PortOverride, serial::kComPorts> overrides;
    overrides[1] = {"/dev/serial/by-id/m", "/dev/ttyACM0"};
    serial::ComMap map = serial::NumberPorts({modem}, overrides);
    EXPECT_FALSE(map[0].port.has_value());
    EXPECT_TRUE(map[1].overridden);
    ASSERT_TRUE(map[1].port.has_value()); // the named device is still described
    EXPECT_EQ(map[1].port->driver, "cdc_acm");
}

// Where the user alone can lower an adapter's latency timer, above 1 ms
// the port's line says what it costs and where to change it.
TEST(PortMap, LatencyTimerAdviceOnlyAboveOneMillisecond)
{
    for (int ms : {-1, 0, 1})
        EXPECT_EQ(serial::LatencyTimerAdvice(ms), "") << ms;
    EXPECT_EQ(serial::LatencyTimerAdvice(16),
        "its latency timer of 16 ms holds each reply of the modem and can add up to 8 s to an upgrade: "
        "set it to 1 in Device Manager, the port's Properties, Port Settings, Advanced, Latency Timer");
    EXPECT_NE(serial::LatencyTimerAdvice(2).find("up to 1 s"), std::string::npos);
    EXPECT_NE(serial::LatencyTimerAdvice(255).find("up to 131 s"), std::string::npos);
}

TEST(PortMap, PortListLineLeavesOutWhatIsNotKnown)
{
    EXPECT_EQ(serial::PortListLine("COM3", "/dev/ttyUSB0", "ftdi_sio, USB 0403:6001", "you may open it"),
        "COM3  /dev/ttyUSB0  ftdi_sio, USB 0403:6001  (you may open it)");
    EXPECT_EQ(serial::PortListLine("COM1", "/dev/ttyS0", "", "you may not open it"),
        "COM1  /dev/ttyS0  (you may not open it)");
}

TEST(PortMap, NaturalOrderComparesNumbersAsNumbers)
{
    EXPECT_TRUE(serial::NaturalLess("usb-0:2:1.0", "usb-0:10:1.0"));
    EXPECT_FALSE(serial::NaturalLess("usb-0:10:1.0", "usb-0:2:1.0"));
    EXPECT_TRUE(serial::NaturalLess("a07", "a8"));
    EXPECT_TRUE(serial::NaturalLess("ab", "abc"));
    EXPECT_FALSE(serial::NaturalLess("abc", "abc"));
}

} // namespace
