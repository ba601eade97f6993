#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "link/ComPort.h"
#include "tests/support/fake_serial.h"
#include "testing/message_recorder.h"

namespace {

class StatusGate : public ::testing::Test {
protected:
    void SetUp() override
    {
        line.Install();
        ASSERT_EQ(g_ComPort.Open("COM1"), 1);
    }
    void TearDown() override { g_ComPort.Close(); }

    FakeLine line;
};

TEST_F(StatusGate, OpenWhenCtsOnOrCarrierOff)
{
    for (auto state :
        {serial::ModemLines{true, true}, serial::ModemLines{true, false}, serial::ModemLines{false, false}}) {
        line.lines = state;
        const size_t readsBefore = line.lineReads;
        EXPECT_EQ(g_ComPort.WriteByte('Z'), 1);
        EXPECT_EQ(line.lineReads - readsBefore, 1u) << "the gate looked once and let the byte through";
    }
    EXPECT_EQ(line.Written(), "ZZZ");
}

TEST_F(StatusGate, HeldShutGivesUpAfterTheWriteTimeOutWithoutSpinning)
{
    line.lines = {false, true};
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(g_ComPort.WriteByte('Z'), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(950));
    EXPECT_EQ(line.Written(), "");
    EXPECT_LT(line.lineReads, 1500u); // paced in ~1 ms steps, not a busy loop

    // A command behind a shut gate ran out of its time, which is no failed
    // write: no box, and the sequence goes on.
    MessageRecorder messages;
    EXPECT_EQ(g_ComPort.SendCommand("ATI5"), 0);
    EXPECT_TRUE(messages.texts.empty());
}

// Only a write call that fails shows the box; one that ran out of its time
// with nothing or part of the line written stays silent.
TEST_F(StatusGate, OnlyAFailedCommandWriteIsReported)
{
    struct Case {
        const char* what;
        size_t writeRoom;
        int failWrite;
        bool box;
    };
    const Case cases[] = {
        {"nothing taken in the time-out", 0, 0, false},
        {"part taken in the time-out", 2, 0, false},
        {"the write call fails", 100, EIO, true},
    };
    line.lines = {false, false};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(g_ComPort.Open("COM1"), 1); // a fresh line, not stuck
        line.writeRoom = c.writeRoom;
        line.failWrite = c.failWrite;
        MessageRecorder messages;
        g_ComPort.SendCommand("ATE0");
        if (c.box)
            EXPECT_EQ(
                messages.texts, std::vector<std::string>{"Error writing to modem!\nError code " + std::to_string(EIO)});
        else
            EXPECT_TRUE(messages.texts.empty());
    }
}

TEST_F(StatusGate, UnreadableLinesDoNotBlockTheWrite)
{
    line.lines = {false, true};
    line.failLines = EIO;
    EXPECT_EQ(g_ComPort.WriteByte('Z'), 1);
    EXPECT_EQ(line.lineReads, 1u);
}

} // namespace
