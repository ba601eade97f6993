// The terminal back end of a serial device, on a pseudo-terminal.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/pause.h"
#include "platform/serial/serial_device.h"
#include "tests/support/pty.h"

namespace {

using simtest::ModemPty;

serial::Timeouts ReadWithin(uint32_t ms)
{
    serial::Timeouts t;
    t.readIntervalMs = 0xFFFFFFFFu;
    t.readTotalConstantMs = ms;
    return t;
}

// The device on the slave side of a fresh pseudo-terminal.
class SerialDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(modem.Ok());
        port = serial::OpenNative(modem.Path());
        ASSERT_NE(port, nullptr);
    }

    ModemPty modem;
    std::unique_ptr<serial::Device> port;
};

TEST_F(SerialDevice, ReadOfMoreThanIsWaitingEndsAtItsTimeOutWithWhatCame)
{
    serial::LineState line;
    ASSERT_TRUE(port->GetLineState(line));
    line.baudRate = 115200;
    line.rawMode = true;
    ASSERT_TRUE(port->SetLineState(line));

    char buf[16] = {};
    size_t got = 99;
    // An empty queue is not a hang-up, with or without a time-out.
    ASSERT_TRUE(port->SetTimeouts(serial::Timeouts{0xFFFFFFFFu, 0, 0, 0, 0}));
    EXPECT_TRUE(port->Read(buf, sizeof buf, got)) << serial::LastError();
    EXPECT_EQ(got, 0u);

    ASSERT_TRUE(port->SetTimeouts(ReadWithin(50)));
    modem.Send("AB");
    ASSERT_TRUE(modem.AwaitQueued(2));
    EXPECT_TRUE(port->Read(buf, sizeof buf, got)) << serial::LastError();
    EXPECT_EQ(std::string(buf, got), "AB");

    // A line that has gone is still an error.
    modem.Hangup();
    EXPECT_FALSE(port->Read(buf, sizeof buf, got));
    EXPECT_EQ(serial::LastError(), EIO);
}

// The status query: a quiet line is no error, bytes the modem sent count
// whole at once (none left behind in the driver's hands), a line that has
// gone is an error.
TEST_F(SerialDevice, StatusCountsWhatCameAndTellsAQuietLineFromAGoneOne)
{
    serial::Status status;
    status.inputQueued = 99;
    EXPECT_TRUE(port->ClearError(status)) << serial::LastError();
    EXPECT_EQ(status.inputQueued, 0u);

    modem.Send("ABC");
    EXPECT_TRUE(port->ClearError(status)) << serial::LastError();
    EXPECT_EQ(status.inputQueued, 3u);

    modem.Hangup();
    EXPECT_FALSE(port->ClearError(status));
    EXPECT_EQ(serial::LastError(), EIO);
}

// A write the line does not take (nobody reads the other end; on a real
// port, CTS flow control holding it) waits out its time-out as a pause
// does, answering the desktop in between, and ends with what went out.
TEST_F(SerialDevice, BlockedWriteAnswersTheDesktopUntilItsTimeOut)
{
    serial::Timeouts t;
    t.writeTotalConstantMs = 300;
    ASSERT_TRUE(port->SetTimeouts(t));
    int answered = 0;
    platform::DesktopHook previous = platform::SetDesktopHook([&] { ++answered; });
    const std::string lots(1 << 20, 'x'); // more than any terminal buffer holds
    size_t put = 0;
    EXPECT_TRUE(port->Write(lots.data(), lots.size(), put)) << serial::LastError();
    platform::SetDesktopHook(std::move(previous));
    EXPECT_GT(put, 0u);
    EXPECT_LT(put, lots.size());
    // 300 ms of waiting in 50 ms slices: the hook between them.
    EXPECT_GE(answered, 4);
}

TEST_F(SerialDevice, ClosedOnceByItsOwnerThenDestroyedLeavesNoError)
{
    EXPECT_TRUE(port->Close());
    serial::SetLastError(0);
    port.reset();
    EXPECT_EQ(serial::LastError(), 0);
    EXPECT_FALSE(serial::OpenNative(modem.Path()) == nullptr) << "the lock outlived the device";
}

// Once closed, every call fails with the system's not-open code and says
// nothing of the line: no bytes, no queue, no lines.
TEST_F(SerialDevice, EveryCallOnAClosedDeviceFailsWithTheNotOpenCode)
{
    ASSERT_TRUE(port->Close());
    serial::Device& d = *port;
    char buf[4] = {};
    size_t count = 99;
    serial::Status status;
    serial::ModemLines lines;
    serial::LineState line;
    const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
        {"SetQueueSizes", [&] { return d.SetQueueSizes(80, 80); }},
        {"Purge", [&] { return d.Purge(); }},
        {"SetTimeouts", [&] { return d.SetTimeouts(ReadWithin(10)); }},
        {"GetLineState", [&] { return d.GetLineState(line); }},
        {"SetLineState", [&] { return d.SetLineState(line); }},
        {"ClearError",
            [&] {
                status.inputQueued = 99;
                return d.ClearError(status) || status.inputQueued != 0;
            }},
        {"Read",
            [&] {
                count = 99;
                return d.Read(buf, sizeof buf, count) || count != 0;
            }},
        {"Write",
            [&] {
                count = 99;
                return d.Write("AT", 2, count) || count != 0;
            }},
        {"GetModemLines",
            [&] {
                lines.cts = true;
                return d.GetModemLines(lines) || lines.cts;
            }},
        {"Close", [&] { return d.Close(); }},
    };
    for (const auto& [name, call] : calls) {
        serial::SetLastError(0);
        EXPECT_FALSE(call()) << name;
        EXPECT_EQ(serial::LastError(), serial::NotOpenError()) << name;
    }
}

} // namespace
