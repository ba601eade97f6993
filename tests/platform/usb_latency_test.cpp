// Low latency for the time a port is held, against a driver played by the
// test; and an adapter's latency timer read from a sysfs tree made here.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/sysmacros.h>
#include <vector>

#include "platform/serial/port_map.h"
#include "platform/serial/usb_latency_linux.h"

namespace {

using serial::LowLatency;

// A driver's serial settings: what it holds, which call it refuses, and
// every record it was asked to take.
class FakeDriver : public serial::SerialInfoCalls {
public:
    int Get(serial_struct& out) override
    {
        if (getError)
            return getError;
        out = held;
        return 0;
    }
    int Set(const serial_struct& in) override
    {
        if (setError)
            return setError;
        written.push_back(in);
        held = in;
        return 0;
    }

    serial_struct held{};
    int getError = 0, setError = 0;
    std::vector<serial_struct> written;
};

bool Same(const serial_struct& a, const serial_struct& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// What a USB adapter's driver reports, with fields a careless write-back
// would disturb.
serial_struct AdapterSettings(int flags)
{
    serial_struct s{};
    s.type = PORT_16550A;
    s.line = 3;
    s.flags = flags;
    s.baud_base = 24000000;
    s.custom_divisor = 7;
    s.xmit_fifo_size = 62;
    return s;
}

TEST(LowLatency, SetsTheFlagWhileHeldAndPutsBackExactlyWhatItFound)
{
    struct Case {
        const char* name;
        int flagsFound;
        int getError, setError;
        LowLatency::State afterEngage;
        bool inForce;
        size_t writesWhileHeld; // records the driver took by the end of Engage
        size_t writesAtClose; // ... and by the end of Restore
    };
    const int kOther = ASYNC_SPD_HI | ASYNC_SKIP_TEST;
    const Case cases[] = {
        {"flag already on: nothing written, nothing put back", kOther | ASYNC_LOW_LATENCY, 0, 0,
            LowLatency::State::AlreadyOn, true, 0, 0},
        {"flag off: set, then the record found put back", kOther, 0, 0, LowLatency::State::SetOn, true, 1, 2},
        {"no such calls (a pty): nothing written", kOther, ENOTTY, 0, LowLatency::State::Unknown, false, 0, 0},
        {"setting refused: nothing to put back", kOther, 0, EPERM, LowLatency::State::SetRefused, false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeDriver driver;
        const serial_struct found = AdapterSettings(c.flagsFound);
        driver.held = found;
        driver.getError = c.getError;
        driver.setError = c.setError;

        LowLatency latency;
        latency.Engage(driver);
        EXPECT_EQ(latency.Current(), c.afterEngage);
        EXPECT_EQ(latency.InForce(), c.inForce);
        EXPECT_EQ(latency.Error(), c.getError ? c.getError : c.setError);
        ASSERT_EQ(driver.written.size(), c.writesWhileHeld);
        if (c.writesWhileHeld) {
            serial_struct expected = found;
            expected.flags |= ASYNC_LOW_LATENCY;
            EXPECT_TRUE(Same(driver.written[0], expected)) << "only the flag changes";
        }

        EXPECT_EQ(latency.Restore(driver), 0);
        ASSERT_EQ(driver.written.size(), c.writesAtClose);
        EXPECT_TRUE(Same(driver.held, found)) << "the driver ends as it was";
        EXPECT_EQ(latency.Restore(driver), 0);
        EXPECT_EQ(driver.written.size(), c.writesAtClose) << "put back once only";
    }
}

// A sysfs tree of one FTDI adapter, ttyUSB0 (188:0), and one UART (4:64).
class LatencyTimer : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/qx-sysfs.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        std::filesystem::create_directories(root / "devices/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");
        std::ofstream(root / "devices/usb1/1-2/1-2:1.0/ttyUSB0/latency_timer") << "16\n";
        std::filesystem::create_directories(root / "devices/platform/serial8250/tty/ttyS0");
        std::filesystem::create_directories(root / "dev/char");
        // The links as the kernel makes them: the device node's directory,
        // whose "device" is the port device holding the timer.
        std::filesystem::create_directory_symlink(
            "../../devices/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0", root / "dev/char/188:0");
        std::filesystem::create_directory_symlink(
            "../..", root / "devices/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0/device");
        std::filesystem::create_directory_symlink(
            "../../devices/platform/serial8250/tty/ttyS0", root / "dev/char/4:64");
        std::filesystem::create_directory_symlink("../..", root / "devices/platform/serial8250/tty/ttyS0/device");
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    std::filesystem::path root;
};

TEST_F(LatencyTimer, IsReadAndShownForTheAdapterOnly)
{
    serial::PortInfo adapter;
    adapter.driver = "ftdi_sio";
    adapter.usbVendor = "0403";
    adapter.usbProduct = "6001";
    adapter.productName = "FT232R USB UART";
    adapter.latencyTimerMs = serial::LatencyTimerMs(makedev(188, 0), root.string());
    EXPECT_EQ(serial::PortSummary(adapter), "ftdi_sio, USB 0403:6001 FT232R USB UART, latency timer 16 ms");

    serial::PortInfo uart;
    uart.driver = "serial8250";
    uart.latencyTimerMs = serial::LatencyTimerMs(makedev(4, 64), root.string());
    EXPECT_EQ(serial::PortSummary(uart), "serial8250");
    EXPECT_EQ(serial::LatencyTimerMs(makedev(188, 1), root.string()), -1) << "no such device";
}

TEST(LatencyTimerText, OnlyAMillisecondCountIsTaken)
{
    const std::pair<const char*, int> cases[] = {
        {"16\n", 16},
        {"1", 1},
        {"0\n", 0},
        {"255\n", 255},
        {"256\n", -1},
        {"", -1},
        {"\n", -1},
        {"-1\n", -1},
        {"16 ms\n", -1},
        {"x\n", -1},
    };
    for (const auto& [text, ms] : cases)
        EXPECT_EQ(serial::ParseLatencyTimer(text), ms) << '"' << text << '"';
}

} // namespace
