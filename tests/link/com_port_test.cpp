#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include "link/ComPort.h"
#include "platform/serial/com_names.h"
#include "platform/serial/serial_device.h"
#include "testing/message_recorder.h"
#include "tests/support/pty.h"
#include "testing/com_ports.h"

namespace {

using simtest::ModemPty;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t0)
{
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

class ComPortOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(modem.Ok());
        ports.Map(2, modem.Path());
    }
    void TearDown() override { g_ComPort.Close(); }

    // The port as the program leaves it after discovery.
    void OpenLikeDiscovery()
    {
        g_ComPort.Probe("COM2", "");
        ASSERT_EQ(g_ComPort.m_bPresent, 1);
        ASSERT_EQ(g_ComPort.Reopen(), 1);
    }

    PortMap ports;
    ModemPty modem;
    MessageRecorder messages;
};

TEST_F(ComPortOnPty, ProbeOfMissingDeviceChangesNothingButPresence)
{
    CComPort port;
    port.m_strPortName = "COM7";
    port.m_strLabel = "earlier";
    port.m_bPresent = 1;
    port.Probe("COM1", "new label");
    EXPECT_EQ(port.m_bPresent, 0);
    EXPECT_EQ(port.m_strPortName, "COM7");
    EXPECT_EQ(port.m_strLabel, "earlier");
    EXPECT_EQ(port.Reopen(), 0);
}

TEST_F(ComPortOnPty, ProbeRecordsThePortAndLetsItGo)
{
    CComPort port;
    port.m_strLabel = "kept";
    port.Probe("COM2", "");
    EXPECT_EQ(port.m_bPresent, 1);
    EXPECT_EQ(port.m_strPortName, "COM2");
    EXPECT_EQ(port.m_strLabel, "kept"); // an empty label is not stored
    port.Probe("COM2", "modem");
    EXPECT_EQ(port.m_strLabel, "modem");

    // Closed again: nobody holds the lock.
    int fd = open(modem.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

TEST_F(ComPortOnPty, OpenAppliesLineSettingsAndCloseRestoresThem)
{
    termios before{};
    int fd = open(modem.Path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    tcgetattr(fd, &before);

    OpenLikeDiscovery();
    termios during{};
    tcgetattr(fd, &during);
    EXPECT_EQ(cfgetospeed(&during), B115200);
    EXPECT_EQ(cfgetispeed(&during), B115200);
    EXPECT_EQ(during.c_cc[VMIN], 0); // reads return what is there; the link keeps the time-outs
    EXPECT_EQ(during.c_cc[VTIME], 0);
    EXPECT_EQ(during.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_FALSE(during.c_cflag & (PARENB | CSTOPB));
    EXPECT_TRUE(during.c_cflag & CRTSCTS);
    EXPECT_FALSE(during.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(during.c_oflag & OPOST);

    // Held exclusively while open.
    EXPECT_EQ(serial::Open(modem.Path()), nullptr);
    EXPECT_EQ(serial::LastError(), EBUSY);

    g_ComPort.Close();
    termios after{};
    tcgetattr(fd, &after);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    close(fd);
}

TEST_F(ComPortOnPty, CommandGoesOutWithCrLfAndReplyIsReadWhole)
{
    OpenLikeDiscovery();
    std::string reply;
    EXPECT_EQ(g_ComPort.ReadResponse(reply), 0); // nothing waiting
    EXPECT_EQ(reply, "");

    auto t0 = Clock::now();
    EXPECT_EQ(g_ComPort.SendCommand("ATE0"), 4);
    EXPECT_GE(SecondsSince(t0), 0.39); // the command's own pause
    EXPECT_EQ(modem.ReceiveBytes(6), "ATE0\r\n");

    modem.Send("\r\n22\r\n\r\nOK\r\n");
    ASSERT_TRUE(modem.AwaitQueued(12));
    EXPECT_EQ(g_ComPort.ReadResponse(reply), 12);
    EXPECT_EQ(reply, "\r\n22\r\n\r\nOK\r\n");
    EXPECT_TRUE(messages.texts.empty());
}

TEST_F(ComPortOnPty, ResponseReadsOnlyWhatIsWaiting)
{
    OpenLikeDiscovery();
    std::string reply;

    // A long reply in pieces of at most 1000 bytes, nothing lost.
    modem.Send(std::string(1500, 'x'));
    ASSERT_TRUE(modem.AwaitQueued(1500));
    EXPECT_EQ(g_ComPort.ReadResponse(reply), 1000);
    EXPECT_EQ(reply, std::string(1000, 'x'));
    EXPECT_EQ(g_ComPort.ReadResponse(reply), 500);
    EXPECT_EQ(g_ComPort.ReadResponse(reply), 0);

    // The text stops at a NUL; the count does not.
    modem.Send(std::string("AB\0CD", 5));
    ASSERT_TRUE(modem.AwaitQueued(5));
    EXPECT_EQ(g_ComPort.ReadResponse(reply), 5);
    EXPECT_EQ(reply, "AB");
}

TEST_F(ComPortOnPty, SingleBytesBothWays)
{
    OpenLikeDiscovery();
    uint8_t b = 0x55;
    EXPECT_EQ(g_ComPort.ReadByte(b), 0);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(g_ComPort.WriteByte(0x02), 1);
    EXPECT_EQ(modem.ReceiveBytes(1), "\x02");
    modem.Send("\x06\x15");
    ASSERT_TRUE(modem.AwaitQueued(2));
    EXPECT_EQ(g_ComPort.ReadByte(b), 1);
    EXPECT_EQ(b, 0x06);
    EXPECT_EQ(g_ComPort.ReadByte(b), 1);
    EXPECT_EQ(b, 0x15);
}

TEST_F(ComPortOnPty, ModemGoingAwayFailsCleanly)
{
    OpenLikeDiscovery();
    modem.Hangup();
    uint8_t b = 1;
    EXPECT_EQ(g_ComPort.ReadByte(b), 0);
    std::string reply;
    EXPECT_EQ(g_ComPort.ReadResponse(reply), 0);
    EXPECT_EQ(g_ComPort.WriteByte('A'), 0);
    EXPECT_EQ(g_ComPort.SendCommand("ATI5"), 0);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Error writing to modem!\nError code " + std::to_string(EIO));
}

TEST_F(ComPortOnPty, ThingsThatAreNotSerialPortsAreRefused)
{
    char dir[] = "/tmp/qx-link-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string file = std::string(dir) + "/plain";
    close(open(file.c_str(), O_CREAT | O_WRONLY, 0600));
    for (const std::string& path : {file, std::string(dir)}) {
        ports.Map(3, path);
        CComPort port;
        port.Probe("COM3", "");
        EXPECT_EQ(port.m_bPresent, 0) << path;
    }
    unlink(file.c_str());
    rmdir(dir);
}

TEST(ComPortSlot, CloseAfterFailedOpenAndOnEmptySlotIsHarmless)
{
    PortMap ports;
    MessageRecorder messages;
    EXPECT_EQ(g_ComPort.Open("COM1"), 0);
    g_ComPort.Close(); // the failed open stays in the slot
    g_ComPort.Close();
    uint8_t b = 7;
    EXPECT_EQ(g_ComPort.ReadByte(b), 0);
    EXPECT_EQ(g_ComPort.WriteByte(1), 0);
    EXPECT_EQ(g_ComPort.SendCommand("AT"), 0);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Error writing to modem!\nError code " + std::to_string(serial::NotOpenError()));
}

// Names outside COM1..COM9 are paths; an override is used as given. What
// an unset COM<n> stands for depends on the machine's ports (numbered in
// tests/platform/port_map_test.cpp), but it is the same for every caller.
TEST(PortNames, MapToDevicePaths)
{
    for (int n = 1; n <= 9; ++n)
        unsetenv(("QUILVEX_COM" + std::to_string(n)).c_str());
    serial::ComMap map = serial::CurrentComMap();
    for (int n = 1; n <= 9; ++n)
        EXPECT_EQ(serial::DevicePath("COM" + std::to_string(n)), map[n - 1].path) << n;

    setenv("QUILVEX_COM3", "/dev/serial/by-id/usb-Some_Modem-if00", 1);
    EXPECT_EQ(serial::DevicePath("COM3"), "/dev/serial/by-id/usb-Some_Modem-if00");
    setenv("QUILVEX_COM3", "", 1);
    EXPECT_EQ(serial::DevicePath("COM3"), map[2].path) << "an empty variable counts as unset";
    unsetenv("QUILVEX_COM3");
    for (const char* name : {"COM10", "COM0", "com1", "/dev/ttyACM0"})
        EXPECT_EQ(serial::DevicePath(name), name);
}

} // namespace
