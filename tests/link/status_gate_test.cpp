#include <gtest/gtest.h>

#include <chrono>

#include "link/ComPort.h"
#include "platform/serial/serial_device.h"
#include "tests/support/message_recorder.h"

namespace {

// A device whose modem lines the test sets; it records what is written.
struct LinesDevice : serial::Device {
    serial::ModemLines* lines;
    bool linesReadable = true;
    std::string* written;
    int* statusReads;

    bool SetQueueSizes(size_t, size_t) override { return true; }
    bool Purge() override { return true; }
    bool SetTimeouts(const serial::Timeouts&) override { return true; }
    bool GetLineState(serial::LineState&) override { return true; }
    bool SetLineState(const serial::LineState&) override { return true; }
    bool ClearError(serial::Status& s) override { s = {}; return true; }
    bool Read(void*, size_t, size_t& got) override { got = 0; return true; }
    bool Write(const void* buf, size_t size, size_t& put) override
    {
        written->append(static_cast<const char*>(buf), size);
        put = size;
        return true;
    }
    bool GetModemLines(serial::ModemLines& out) override
    {
        ++*statusReads;
        out = *lines;
        return linesReadable || (serial::SetLastError(EIO), false);
    }
    bool Close() override { return true; }
};

class StatusGate : public ::testing::Test {
protected:
    void SetUp() override
    {
        serial::SetOpener([this](const std::string&) {
            auto d = std::make_unique<LinesDevice>();
            d->lines = &lines;
            d->linesReadable = readable;
            d->written = &written;
            d->statusReads = &statusReads;
            return d;
        });
    }
    void TearDown() override
    {
        g_ComPort.Close();
        serial::SetOpener({});
    }

    double TimedWrite(int& result)
    {
        EXPECT_EQ(g_ComPort.Open("COM1"), 1);
        auto t0 = std::chrono::steady_clock::now();
        result = g_ComPort.WriteByte('Z');
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }

    serial::ModemLines lines;
    bool readable = true;
    std::string written;
    int statusReads = 0;
};

TEST_F(StatusGate, OpenWhenCtsOnOrCarrierOff)
{
    for (auto state : {serial::ModemLines{true, true}, serial::ModemLines{true, false}, serial::ModemLines{false, false}}) {
        lines = state;
        int result = 0;
        EXPECT_LT(TimedWrite(result), 0.1);
        EXPECT_EQ(result, 1);
    }
    EXPECT_EQ(written, "ZZZ");
}

TEST_F(StatusGate, HeldShutGivesUpAfterTheWriteTimeOutWithoutSpinning)
{
    lines = {false, true};
    int result = 1;
    double took = TimedWrite(result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(written, "");
    EXPECT_GE(took, 0.95);
    EXPECT_LT(took, 3.0);
    EXPECT_LT(statusReads, 1500); // paced in ~1 ms steps, not a busy loop

    // A command behind a shut gate is reported, and the sequence goes on.
    MessageRecorder messages;
    EXPECT_EQ(g_ComPort.SendCommand("ATI5"), 0);
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_EQ(messages.texts[0], "Error writing to modem!\nError code " + std::to_string(serial::TimedOutError()));
}

TEST_F(StatusGate, UnreadableLinesDoNotBlockTheWrite)
{
    readable = false;
    int result = 0;
    EXPECT_LT(TimedWrite(result), 0.1);
    EXPECT_EQ(result, 1);
}

} // namespace
