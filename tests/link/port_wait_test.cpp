// Waiting on the port for input: a byte ends the wait at once, an empty or
// dead line waits the full time, and the port object's wait is a pause that
// a waiting byte cuts short.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

#include "link/ComPort.h"
#include "platform/serial/serial_device.h"
#include "tests/support/fake_serial.h"
#include "tests/support/pty.h"

namespace {

using simtest::ModemPty;

using Clock = std::chrono::steady_clock;

// True once thread `tid` of this process is asleep in the kernel (state S),
// false if it did not get there within `limit`.
bool AwaitAsleep(pid_t tid, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    const std::string stat = "/proc/self/task/" + std::to_string(tid) + "/stat";
    while (Clock::now() < deadline) {
        std::ifstream in(stat);
        std::string line;
        std::getline(in, line);
        // The state follows the command name's closing parenthesis.
        const auto close = line.rfind(')');
        if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S')
            return true;
        std::this_thread::yield();
    }
    return false;
}

double MsSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

TEST(PortWait, ByteArrivingDuringTheWaitEndsIt)
{
    ModemPty modem;
    ASSERT_TRUE(modem.Ok());
    auto port = serial::OpenNative(modem.Path());
    ASSERT_NE(port, nullptr);

    modem.Send("x");
    EXPECT_TRUE(port->WaitForInput(60000)); // already waiting: at once

    serial::Status status;
    ASSERT_TRUE(port->ClearError(status));
    char byte = 0;
    size_t got = 0;
    ASSERT_TRUE(port->Read(&byte, 1, got));
    // Only a byte coming in can end this wait in time (the test's deadline
    // would end a wait that slept its minute out).
    // The byte is sent once this thread sleeps inside the wait.
    const pid_t waiter = static_cast<pid_t>(::syscall(SYS_gettid));
    std::atomic<bool> sawAsleep{false};
    std::thread late([&] {
        sawAsleep = AwaitAsleep(waiter, std::chrono::seconds(30));
        modem.Send("y");
    });
    EXPECT_TRUE(port->WaitForInput(60000));
    late.join();
    EXPECT_TRUE(sawAsleep) << "the wait never went to sleep";
    ASSERT_TRUE(port->ClearError(status));
    EXPECT_EQ(status.inputQueued, 1u);
}

TEST(PortWait, EmptyOrDeadLineWaitsTheFullTime)
{
    ModemPty modem;
    ASSERT_TRUE(modem.Ok());
    auto port = serial::OpenNative(modem.Path());
    ASSERT_NE(port, nullptr);

    auto t0 = Clock::now();
    EXPECT_FALSE(port->WaitForInput(30));
    EXPECT_GE(MsSince(t0), 30.0);

    modem.Hangup(); // a vanished modem ends no wait early
    t0 = Clock::now();
    EXPECT_FALSE(port->WaitForInput(30));
    EXPECT_GE(MsSince(t0), 30.0);
    serial::Status status;
    EXPECT_FALSE(port->ClearError(status)); // the status query reports it
}

TEST(PortWait, ComPortWaitIsAPauseThatAByteCutsShort)
{
    FakeLine line;
    line.Install();
    ASSERT_EQ(g_ComPort.Open("COM1"), 1);

    EXPECT_EQ(g_ComPort.WaitForInput(1), 0);
    EXPECT_EQ(line.waits, 1u);
    EXPECT_EQ(line.waitedMs, 1u);

    line.onWait = [](FakeLine& l) { l.Send({0x06}); };
    EXPECT_EQ(g_ComPort.WaitForInput(1), 1);
    EXPECT_EQ(line.waitsCutShort, 1u);
    uint8_t byte = 0;
    EXPECT_EQ(g_ComPort.ReadByte(byte), 1);
    EXPECT_EQ(byte, 0x06);
    EXPECT_EQ(line.polls, 1u); // waiting is not polling: the budgets count polls

    g_ComPort.Close();
    const auto t0 = Clock::now();
    EXPECT_EQ(g_ComPort.WaitForInput(20), 0); // no port: a plain pause
    EXPECT_GE(MsSince(t0), 20.0);
}

} // namespace
