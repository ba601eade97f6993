// The identity check against simulated modems: which replies are asked
// for, what is compared, and what the user is told.
#include "testing/message_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "platform/pause.h"
#include "testing/sim_process.h"
#include "tests/identify/temp_cwd.h"

namespace {

using Texts = std::vector<std::string>;

const std::string kAti3 = "V2.301-V90_2M_DLP";
const std::string kAti119 = "DRAVIK 56K RevC";

// One simulated modem on COM1, its port open and its echo off, and a fresh
// dialog for every check.
class IdentityCheck : public testing::Test {
protected:
    void TearDown() override { g_ComPort.Close(); } // before the simulator goes
    // `replyEnd`: how the reply to ATE0 ends.
    void Connect(std::vector<std::string> args = {}, const std::string& replyEnd = "OK\r\n")
    {
        m_sim = &m_ports.Start(1, std::move(args));
        ASSERT_TRUE(m_sim->started()) << m_sim->error();
        ASSERT_EQ(g_ComPort.Open("COM1"), 1);
        g_ComPort.SendCommand("ATE0", true);
        // The whole reply, however late it comes, so that none of it is
        // left for the check's first read.
        std::string reply, piece;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!reply.ends_with(replyEnd) && std::chrono::steady_clock::now() < deadline) {
            if (g_ComPort.ReadResponse(piece) == 0)
                platform::Pause(1);
            reply += piece;
        }
        ASSERT_TRUE(reply.ends_with(replyEnd)) << reply;
        m_seen = m_sim->received().size();
    }

    // Runs the check with `dataFile` as the data file; returns its verdict.
    int Check(const std::string& dataFile)
    {
        m_cwd.Write("quilvex.dat", dataFile);
        m_messages.texts.clear();
        m_dlg = std::make_unique<CQuilvexDlg>();
        m_dlg->m_strFileName = "keep.dlf";
        return m_dlg->CheckModemIdentity();
    }

    // What the modem was sent since the last call.
    std::string Sent()
    {
        std::string all = m_sim->received();
        std::string recent = all.substr(std::min(m_seen, all.size()));
        m_seen = all.size();
        return recent;
    }

    TempCwd m_cwd;
    simtest::SimPorts m_ports;
    MessageRecorder m_messages;
    simtest::SimProcess* m_sim = nullptr;
    std::size_t m_seen = 0;
    std::unique_ptr<CQuilvexDlg> m_dlg;
};

TEST_F(IdentityCheck, ComparisonRulesWithTheDefaultModem)
{
    Connect();

    // Lengths of 0 and of a word: both asked and shown, neither compared.
    EXPECT_EQ(Check(";\nL3 = 0\nE3 = wrong\nL119 = auto\nE119 = wrong\nF = new.dlf\n"), 1);
    EXPECT_EQ(Sent(), "ATI3\r\nATI119\r\n");
    EXPECT_EQ(m_messages.texts, Texts{});
    EXPECT_EQ(m_dlg->m_strAti3, kAti3);
    EXPECT_EQ(m_dlg->m_strAti119, kAti119);
    EXPECT_EQ(m_dlg->m_strFileName, "new.dlf");

    // Expected text shorter than the length: the longer reply fails, and
    // ATI119 is never asked after an ATI3 mismatch.
    EXPECT_EQ(Check("L3 = 10\nE3 = V2.301\nL119 = 0\nE119 = x\n"), 0);
    EXPECT_EQ(Sent(), "ATI3\r\n");
    EXPECT_EQ(m_messages.texts, Texts{"ATI3 response mismatch!\n\nExpected: V2.301\nReceived: " + kAti3});

    // ...and only an exactly equal reply passes. Four entries: the file
    // name stays as it was.
    EXPECT_EQ(Check("L3 = 0\nE3 = x\nL119 = 20\nE119 = \"DRAVIK 56K RevC\"\n"), 1);
    EXPECT_EQ(Sent(), "ATI3\r\nATI119\r\n");
    EXPECT_EQ(m_dlg->m_strFileName, "keep.dlf");
    EXPECT_EQ(Check("L3 = 17\nE3 = V2.301-V90_2M_DLP\nL119 = 20\nE119 = DRAVIK 56K Rev\n"), 0);
    EXPECT_EQ(m_messages.texts, Texts{"ATI119 response mismatch!\n\nExpected: DRAVIK 56K Rev\nReceived: " + kAti119});
}

TEST_F(IdentityCheck, NoMoreThanThirtyCharactersAreCompared)
{
    const std::string reply = "ABCDEFGHIJ-0123456789-abcdefghij-XYZ-40ch";
    Connect({"--ati3", reply});

    EXPECT_EQ(Check("L3 = 50\nE3 = \"" + reply.substr(0, 30) + " differs after thirty\"\nL119 = 0\nE119 = x\n"), 1);
    EXPECT_EQ(m_dlg->m_strAti3, reply);

    std::string wrong = reply;
    wrong[29] = '#';
    EXPECT_EQ(Check("L3 = 50\nE3 = " + wrong + "\nL119 = 0\nE119 = x\n"), 0);
    EXPECT_EQ(m_messages.texts, Texts{"ATI3 response mismatch!\n\nExpected: " + wrong + "\nReceived: " + reply});
}

TEST_F(IdentityCheck, RepliesWithoutOkShowAsUnknown)
{
    Connect({"--no-ok"}, "ATE0\r");
    EXPECT_EQ(Check("L3 = 0\nE3 = x\nL119 = 6\nE119 = DRAVIK\n"), 0);
    EXPECT_EQ(Sent(), "ATI3\r\nATI119\r\n");
    EXPECT_EQ(m_dlg->m_strAti3, "*** Unknown ***");
    EXPECT_EQ(m_dlg->m_strAti119, "*** Unknown ***");
    EXPECT_EQ(m_messages.texts, Texts{"ATI119 response mismatch!\n\nExpected: DRAVIK\nReceived: *** Unknown ***"});
}

} // namespace
