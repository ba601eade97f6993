// The block transfer against a loader scripted in memory: start wait, poll
// budgets, resends, refusals, EOT handling and the progress display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "testing/message_recorder.h"

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/pause.h"
#include "tests/support/fake_serial.h"
#include "tests/upgrade/scripted_receiver.h"
#include "tests/upgrade/window_recorder.h"
#include "upgrade/Transfer.h"

namespace {

using Strings = std::vector<std::string>;

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        line.Install();
        ASSERT_EQ(g_ComPort.Open("COM1"), 1);
        g_pMainDlg = &dlg;
        dlg.UpdateData(false); // binds the progress bar, as the dialog's start-up does
        window.shown.clear();
    }
    void TearDown() override
    {
        g_ComPort.Close();
        g_pMainDlg = nullptr;
    }

    // A temporary file holding `data`, open for reading.
    FILE* TempFile(const std::vector<uint8_t>& data)
    {
        FILE* f = std::tmpfile();
        EXPECT_NE(f, nullptr);
        std::fwrite(data.data(), 1, data.size(), f);
        std::fseek(f, 7, SEEK_SET); // SendFirmware must rewind
        m_files.push_back(f);
        return f;
    }
    ~TransferTest() override
    {
        for (FILE* f : m_files)
            std::fclose(f);
    }

    Strings Status() { return window.shown[IDC_STATUS]; }

    FakeLine line;
    CQuilvexDlg dlg;
    WindowRecorder window{dlg};
    MessageRecorder messages;

private:
    std::vector<FILE*> m_files;
};

std::vector<uint8_t> Pattern(size_t size)
{
    std::vector<uint8_t> data(size);
    for (size_t k = 0; k < size; ++k)
        data[k] = static_cast<uint8_t>(k * 7 + k / 251);
    return data;
}

// ---- start wait -------------------------------------------------------------

struct StartCase {
    const char* name;
    std::vector<uint8_t> queued;
    int result;
    uint8_t mode;
    int countdown; // how many "[n sec]" texts, from 59 down
};

TEST_F(TransferTest, StartWaitTakesTheFirstStartCharAndDropsOthers)
{
    std::vector<uint8_t> strays59(59, 'x');
    std::vector<uint8_t> strays58(58, '\r');
    strays58.push_back('C');
    const StartCase cases[] = {
        {"NAK", {kNAK}, 1, kNAK, 0},
        {"C", {kStartC}, 1, kStartC, 0},
        {"FF", {kStartFF}, 1, kStartFF, 0},
        {"reply to AT~D1 first", {'\r', '\n', 'O', 'K', '\r', '\n', kStartC}, 1, kStartC, 6},
        {"58 strays then C", strays58, 1, kStartC, 58},
        {"59 strays", strays59, 0, 0x42, 59},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        window.shown.clear();
        line.toProgram.assign(c.queued.begin(), c.queued.end());
        uint8_t mode = 0x42;
        EXPECT_EQ(WaitForStartup(mode), c.result);
        EXPECT_EQ(mode, c.mode);
        Strings want{"Waiting for Startup Packet..."};
        for (int n = 59; n > 59 - c.countdown; --n)
            want.push_back(WaitingCountText(n));
        if (c.result)
            want.push_back(kStatusUpgrading);
        EXPECT_EQ(Status(), want);
        EXPECT_TRUE(line.toProgram.empty());
    }
    EXPECT_TRUE(messages.texts.empty()); // the caller reports a time-out
    EXPECT_TRUE(line.written.empty());
}

TEST_F(TransferTest, StartWaitPeriodIs199Polls)
{
    for (size_t arriveAt : {size_t{199}, size_t{200}}) {
        SCOPED_TRACE(arriveAt);
        window.shown.clear();
        size_t first = line.polls;
        line.onPoll = [&](FakeLine& l) {
            if (l.polls - first == arriveAt)
                l.Send({kStartC});
        };
        uint8_t mode = kNAK;
        ASSERT_EQ(WaitForStartup(mode), 1);
        EXPECT_EQ(line.polls - first, arriveAt);
        Strings want{"Waiting for Startup Packet..."};
        if (arriveAt > 199)
            want.push_back("Waiting for Startup Packet... [59 sec]");
        want.push_back(kStatusUpgrading);
        EXPECT_EQ(Status(), want);
    }
}

// ---- whole transfers -----------------------------------------------------------

struct RunCase {
    const char* name;
    size_t size;
    bool use1K;
    uint8_t start;
    std::vector<int> sizes; // data size of each packet
};

TEST_F(TransferTest, SendsPaddedPacketsThenEot)
{
    const RunCase cases[] = {
        {"1K, CRC, short last read", 1100, true, kStartC, {1024, 128}},
        {"1K, 0xFF start", 2048, true, kStartFF, {1024, 1024}},
        {"128, checksum", 300, false, kNAK, {128, 128, 128}},
        {"one byte", 1, true, kStartC, {128}},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        line.written.clear();
        ScriptedReceiver rx(line, c.start);
        line.Send({c.start});
        std::vector<uint8_t> image = Pattern(c.size);

        ASSERT_EQ(SendFirmware(TempFile(image), c.use1K), 1);

        ASSERT_EQ(rx.packets.size(), c.sizes.size());
        for (size_t k = 0; k < c.sizes.size(); ++k) {
            const ReceivedPacket& p = rx.packets[k];
            EXPECT_EQ(p.header, c.sizes[k] == 1024 ? kSTX : kSOH);
            EXPECT_EQ(p.number, k + 1);
            EXPECT_EQ(p.complement, 254 - k);
            EXPECT_EQ(p.data.size(), static_cast<size_t>(c.sizes[k]));
            EXPECT_TRUE(p.checkOk);
        }
        std::vector<uint8_t> want = image;
        want.resize(std::accumulate(c.sizes.begin(), c.sizes.end(), size_t{0}), kPad);
        EXPECT_EQ(rx.Image(), want);
        EXPECT_EQ(rx.eots, 1);
        EXPECT_TRUE(rx.stray.empty());
        EXPECT_EQ(line.written.back(), kEOT);
    }
    EXPECT_TRUE(messages.texts.empty());
    EXPECT_EQ(line.purges, 1u); // only Open's own; the transfer discards nothing
}

TEST_F(TransferTest, FullImageShowsPacketsPercentagesAndFillsTheBar)
{
    ScriptedReceiver rx(line, kStartC);
    line.Send({kStartC});
    std::vector<uint8_t> image = Pattern(524288);

    ASSERT_EQ(SendFirmware(TempFile(image), true), 1);

    EXPECT_EQ(rx.Image(), image);
    EXPECT_EQ(rx.packets.size(), 512u);
    EXPECT_EQ(rx.packets[255].number, 0);
    EXPECT_EQ(rx.packets[255].complement, 255);
    EXPECT_EQ(rx.packets[256].number, 1);
    EXPECT_EQ(rx.packets[256].complement, 254);

    Strings packets = window.shown[IDC_PACKET];
    ASSERT_EQ(packets.size(), 512u);
    EXPECT_EQ(packets.front(), "P#1");
    EXPECT_EQ(packets.back(), "P#512");
    Strings percents = window.shown[IDC_PERCENT];
    ASSERT_EQ(percents.size(), 20u);
    EXPECT_EQ(percents.front(), "(5%)");
    EXPECT_EQ(percents[1], "(10%)");
    EXPECT_EQ(percents.back(), "(100%)");
    EXPECT_EQ(dlg.m_ctlProgress.GetStep(), 5);
    EXPECT_EQ(dlg.m_ctlProgress.StepCount(), 20);
    EXPECT_EQ(dlg.m_ctlProgress.GetPos(), 100);
    EXPECT_EQ(dlg.m_strPercent, "(100%)");
}

TEST_F(TransferTest, TinyFileKeepsTheBarInRange)
{
    ScriptedReceiver rx(line, kNAK);
    line.Send({kNAK});
    ASSERT_EQ(SendFirmware(TempFile(Pattern(5 * 128)), false), 1);
    EXPECT_EQ(window.shown[IDC_PERCENT], (Strings{"(10%)", "(15%)", "(20%)", "(25%)", "(30%)"}));
    EXPECT_EQ(dlg.m_ctlProgress.GetPos(), 30);
}

TEST_F(TransferTest, WorksWithoutAMainWindow)
{
    g_pMainDlg = nullptr;
    ScriptedReceiver rx(line, kStartC);
    line.Send({kStartC});
    EXPECT_EQ(SendFirmware(TempFile(Pattern(200)), true), 1);
    EXPECT_EQ(rx.packets.size(), 2u);
}

// ---- refusals ------------------------------------------------------------------

struct ReplyCase {
    const char* name;
    std::vector<uint8_t> queuedAfterStart; // waiting before packet 1 goes
    std::vector<std::optional<uint8_t>> replies; // to each frame, in order
    int result;
    size_t frames;
    const char* message; // null: none
};

TEST_F(TransferTest, PacketRepliesDecideResendOrAbort)
{
    const std::optional<uint8_t> ack = kACK, nak = kNAK;
    const ReplyCase cases[] = {
        {"NAK then ACK", {}, {nak, ack, ack}, 1, 3, nullptr},
        {"four NAKs are still fine", {}, {nak, nak, nak, nak, ack, ack}, 1, 6, nullptr},
        {"fifth NAK", {}, {nak, nak, nak, nak, nak}, 0, 5, kMsgErrorLimit},
        {"CAN", {}, {kCAN}, 0, 1, kMsgCanceled},
        {"unknown byte", {}, {ack, uint8_t{'?'}}, 0, 2, kMsgUnknownReply},
        {"queued second C", {kStartC}, {ack}, 0, 1, kMsgUnknownReply},
        {"queued NAK means resend", {kNAK}, {ack, ack, ack}, 1, 3, nullptr},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        line.toProgram.clear();
        messages.texts.clear();
        ScriptedReceiver rx(line, kStartC);
        std::vector<std::optional<uint8_t>> script = c.replies;
        rx.packetReply = [&](const ReceivedPacket&, size_t n) {
            return n < script.size() ? script[n] : std::optional<uint8_t>(kACK);
        };
        line.Send({kStartC});
        line.toProgram.insert(line.toProgram.end(), c.queuedAfterStart.begin(), c.queuedAfterStart.end());

        EXPECT_EQ(SendFirmware(TempFile(Pattern(2048)), true), c.result);
        ASSERT_EQ(rx.packets.size(), c.frames);
        EXPECT_EQ(messages.texts, c.message ? Strings{c.message} : Strings{});
        // A resend is the same packet again, still in CRC mode.
        for (size_t k = 1; k < rx.packets.size(); ++k) {
            EXPECT_EQ(rx.packets[k].check.size(), 2u);
            if (rx.packets[k - 1].reply == kNAK || (k == 1 && !c.queuedAfterStart.empty())) {
                EXPECT_EQ(rx.packets[k].number, rx.packets[k - 1].number);
                EXPECT_EQ(rx.packets[k].data, rx.packets[k - 1].data);
            }
        }
        EXPECT_EQ(rx.eots, c.result);
    }
}

TEST_F(TransferTest, SilentReceiverTimesOutAfter1999Polls)
{
    ScriptedReceiver rx(line, kNAK);
    rx.packetReply = [](const ReceivedPacket&, size_t) { return std::nullopt; };
    line.Send({kNAK});
    EXPECT_EQ(SendFirmware(TempFile(Pattern(128)), true), 0);
    EXPECT_EQ(rx.packets.size(), 1u); // a time-out is not retried
    EXPECT_EQ(line.pollsSinceWrite, 1999u);
    EXPECT_EQ(messages.texts, Strings{kMsgPacketTimeout});
}

TEST_F(TransferTest, EotIsRepeatedUpToTenTimes)
{
    struct EotCase {
        const char* name;
        int ackAt; // 0-based EOT to ACK; -1: none
        int result, eots;
    } cases[] = {
        {"ACK to the tenth", 9, 1, 10},
        {"never", -1, 0, 10},
    };
    for (const EotCase& c : cases) {
        SCOPED_TRACE(c.name);
        messages.texts.clear();
        ScriptedReceiver rx(line, kStartC);
        rx.eotReply = [&](int n) { return std::optional<uint8_t>(n == c.ackAt ? kACK : kNAK); };
        line.Send({kStartC});
        EXPECT_EQ(SendFirmware(TempFile(Pattern(100)), true), c.result);
        EXPECT_EQ(rx.eots, c.eots);
        EXPECT_EQ(messages.texts, c.result ? Strings{} : Strings{kMsgEotTimeout});
    }
}

TEST_F(TransferTest, ReplyArrivingDuringAPauseIsTakenAtOnce)
{
    line.onWait = [](FakeLine& l) {
        if (l.waits == 5)
            l.Send({kACK});
    };
    EXPECT_EQ(SendEot(), 1);
    EXPECT_EQ(line.pollsSinceWrite, 6u); // five empty polls, then the ACK
    EXPECT_EQ(line.waits, 5u); // one 1 ms pause after each empty poll
    EXPECT_EQ(line.waitedMs, 5u);
    EXPECT_EQ(line.waitsCutShort, 1u); // the fifth ended when the ACK came
}

TEST_F(TransferTest, SilentLoaderAtEotLeavesTheDesktopAnsweredThroughout)
{
    // The fake line's count of milliseconds waited is the clock here.
    std::vector<uint64_t> answeredAt{0};
    platform::DesktopHook previous = platform::SetDesktopHook([&] { answeredAt.push_back(line.waitedMs); });
    ScriptedReceiver rx(line, kStartC);
    rx.eotReply = [](int) { return std::nullopt; };
    EXPECT_EQ(SendEot(), 0);
    platform::SetDesktopHook(std::move(previous));

    EXPECT_EQ(rx.eots, 10);
    EXPECT_EQ(line.waits, 7990u); // the budget: 10 x 799 polls, each with its pause
    EXPECT_EQ(line.waitedMs, 7990u);
    answeredAt.push_back(line.waitedMs);
    uint64_t longest = 0;
    for (size_t k = 1; k < answeredAt.size(); ++k)
        longest = std::max(longest, answeredAt[k] - answeredAt[k - 1]);
    EXPECT_LE(longest, 250u);
}

TEST_F(TransferTest, DesktopIsAnsweredWhilePacketsCrossTheLineNotAsRepliesCome)
{
    // Each reply comes 89 ms after its packet's last byte (a 1K packet's
    // time at 115200 bit/s); the fake line's milliseconds waited are the
    // only clock. An answer to the desktop can take many milliseconds (a
    // screen reader reading the window): one begun shortly before a reply
    // comes holds up the next packet.
    constexpr uint64_t kPacketMs = 89, kRoomMs = 25;
    line.waitsSleep = false;
    ScriptedReceiver rx(line, kStartC);
    rx.packetReply = [](const ReceivedPacket&, size_t) { return std::nullopt; }; // sent below, in time
    size_t seen = 0, replies = 0;
    uint64_t sentAt = 0;
    struct Event {
        uint64_t ms;
        bool reply; // else an answer to the desktop
    };
    std::vector<Event> events; // in the order they happened
    line.onWait = [&](FakeLine& l) {
        if (rx.packets.size() > seen) {
            seen = rx.packets.size();
            sentAt = l.waitedMs;
        } else if (seen > replies && l.waitedMs - sentAt >= kPacketMs) {
            ++replies;
            events.push_back({l.waitedMs, true});
            l.Send({kACK});
        }
    };
    platform::DesktopHook previous = platform::SetDesktopHook([&] {
        if (seen > 0)
            events.push_back({line.waitedMs, false});
    });
    line.Send({kStartC});
    const int result = SendFirmware(TempFile(Pattern(20 * 1024)), true);
    platform::SetDesktopHook(std::move(previous));

    ASSERT_EQ(result, 1);
    ASSERT_EQ(replies, 20u);
    size_t answers = 0;
    for (size_t k = 0; k < events.size(); ++k) {
        if (events[k].reply)
            continue;
        ++answers;
        auto next = std::find_if(events.begin() + k, events.end(), [](const Event& e) { return e.reply; });
        if (next != events.end()) {
            EXPECT_GE(next->ms - events[k].ms, kRoomMs)
                << "answered at " << events[k].ms << " ms, the reply came at " << next->ms << " ms";
        }
    }
    EXPECT_GE(answers, 20u);
}

TEST_F(TransferTest, EotWaitsFor799Polls)
{
    ScriptedReceiver rx(line, kStartC);
    rx.eotReply = [](int n) { return n == 0 ? std::nullopt : std::optional<uint8_t>(kACK); };
    EXPECT_EQ(SendEot(), 1);
    EXPECT_EQ(rx.eots, 2);
    EXPECT_EQ(line.pollsBeforeWrite, 799u);
}

TEST_F(TransferTest, UnreadableFileIsADiskError)
{
    std::string path = testing::TempDir() + "quilvex_writeonly.bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> data = Pattern(1024);
    std::fwrite(data.data(), 1, data.size(), f);
    std::fflush(f);
    ScriptedReceiver rx(line, kStartC);
    line.Send({kStartC});

    EXPECT_EQ(SendFirmware(f, true), 0);
    EXPECT_EQ(messages.texts, Strings{kMsgDiskRead});
    EXPECT_EQ(window.shown[IDC_PACKET], Strings{"P#1"}); // on show with the message
    EXPECT_TRUE(line.written.empty());
    std::fclose(f);
    std::remove(path.c_str());

    messages.texts.clear();
    EXPECT_EQ(SendFirmware(nullptr, true), 0);
    EXPECT_EQ(messages.texts, Strings{kMsgDiskRead});
}

} // namespace

// ---- a line held shut ---------------------------------------------------------

// CTS off with carrier detect on: the status gate holds every write. One
// wait of the gate's time-out, then the rest of the packet fails at once
// (one status read a byte) and the packet ends in the usual reply wait.
TEST_F(TransferTest, StuckLineEndsThePacketAfterOneGateTimeOut)
{
    std::vector<uint8_t> data = Pattern(1024);
    line.lines = {false, true};
    EXPECT_EQ(SendPacket(1, 1024, data.data(), 'C'), 0);
    EXPECT_EQ(messages.texts, Strings{kMsgPacketTimeout});
    EXPECT_TRUE(line.written.empty());
    EXPECT_EQ(line.polls, size_t(kPacketReplyPolls));
    // One wait paces itself at 1 ms a read, so a second of it is at most
    // about 1000 reads; the other 1028 bytes cost one read each.
    EXPECT_GE(line.lineReads, 1029u + 1);
    EXPECT_LE(line.lineReads, 1028u + 1100);

    // A command line on the still-stuck line fails at once (text, CR, LF),
    // in silence: nothing failed, the line is held.
    size_t before = line.lineReads;
    EXPECT_EQ(g_ComPort.SendCommand("ATI5"), 0);
    EXPECT_EQ(line.lineReads - before, 3u);
    EXPECT_EQ(messages.texts.size(), 1u);

    // The line comes back: the next command goes through whole.
    line.lines = {true, true};
    EXPECT_EQ(g_ComPort.SendCommand("ATI5"), 4);
    EXPECT_EQ(std::string(line.written.begin(), line.written.end()), "ATI5\r\n");
    EXPECT_EQ(messages.texts.size(), 1u);
}

// After a byte from the modem the gate waits its full time again.
TEST_F(TransferTest, StuckLineWaitsAgainOnceTheModemHasSpoken)
{
    line.lines = {false, true};
    EXPECT_EQ(g_ComPort.WriteByte('A'), 0);
    size_t firstWait = line.lineReads;
    EXPECT_EQ(g_ComPort.WriteByte('B'), 0);
    EXPECT_EQ(line.lineReads, firstWait + 1);

    line.Send({kNAK});
    uint8_t byte = 0;
    ASSERT_EQ(g_ComPort.ReadByte(byte), 1);
    size_t before = line.lineReads;
    EXPECT_EQ(g_ComPort.WriteByte('C'), 0);
    EXPECT_GT(line.lineReads - before, 1u);
    EXPECT_TRUE(line.written.empty());
}

// CTS off with carrier detect off: the gate lets the byte through and the
// driver's own flow control holds it until the write time-out, with nothing
// written. That one write costs the time-out; what follows fails at once
// until the modem lines change.
TEST_F(TransferTest, TimedOutWriteEndsThePacketAndTheCommandLineAtOnce)
{
    std::vector<uint8_t> data = Pattern(1024);
    line.lines = {false, false};
    line.writeRoom = 0;
    EXPECT_EQ(SendPacket(1, 1024, data.data(), 'C'), 0);
    EXPECT_EQ(messages.texts, Strings{kMsgPacketTimeout});
    EXPECT_EQ(line.writeCalls, 1u);
    EXPECT_EQ(line.polls, size_t(kPacketReplyPolls));

    line.writeCalls = 0;
    EXPECT_EQ(g_ComPort.WriteByte('x'), 0);
    EXPECT_EQ(line.writeCalls, 0u) << "unchanged lines: still stuck";

    // A change of the lines frees it. A command line's text then costs one
    // write; its CR and LF fail at once; no box for a time-out.
    line.lines = {true, false};
    EXPECT_EQ(g_ComPort.SendCommand("AT~D1"), 0);
    EXPECT_EQ(line.writeCalls, 1u);
    EXPECT_EQ(messages.texts.size(), 1u);

    // A byte from the modem frees the line: the next write is tried.
    line.Send({kNAK});
    uint8_t byte = 0;
    ASSERT_EQ(g_ComPort.ReadByte(byte), 1);
    line.writeRoom = 1;
    EXPECT_EQ(g_ComPort.WriteByte('Z'), 1);
    EXPECT_EQ(line.Written(), "Z");
}
