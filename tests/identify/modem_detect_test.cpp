// Discovery at start-up against simulated modems: the prompt, the port
// search, the country code and the identity stage's verdict.
#include "testing/message_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "testing/sim_process.h"
#include "tests/support/fake_serial.h"
#include "tests/identify/temp_cwd.h"

namespace {

using Texts = std::vector<std::string>;

const char kPrompt[] =
    "Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?";
const char kNoDataFile[] = "Missing data file 'quilvex.dat'!\n\nBypass ATI3/I119 checking.";
const char kBadReply[] = "Modem does not response properly!";

class DetectModem : public testing::Test {
protected:
    void TearDown() override { g_ComPort.Close(); } // before the simulators go
    TempCwd m_cwd;
    simtest::SimPorts m_ports;
    MessageRecorder m_messages;
    CQuilvexDlg m_dlg;
};

TEST_F(DetectModem, CancelAtThePromptSendsNothing)
{
    auto& sim = m_ports.Start(1);
    m_messages.answers = {IDCANCEL};
    m_dlg.DetectModem();
    EXPECT_EQ(m_messages.texts, Texts{kPrompt});
    EXPECT_EQ(m_messages.okCancel, std::vector<bool>{true});
    EXPECT_TRUE(m_dlg.IsEnded());
    EXPECT_EQ(m_dlg.Result(), IDCANCEL);
    EXPECT_EQ(sim.received(), "");
}

TEST_F(DetectModem, SilentDeviceIsPassedOverForTheModemOnCom4)
{
    auto& silent = m_ports.Start(1, {"--silent"});
    auto& modem = m_ports.Start(4);
    m_dlg.DetectModem();

    EXPECT_EQ(m_messages.texts, (Texts{kPrompt, kNoDataFile}));
    EXPECT_EQ(silent.await_received("ATE0\r\n"), "ATE0\r\n");
    EXPECT_EQ(modem.await_received("ATE0\r\nATI5\r\n"), "ATE0\r\nATI5\r\n");
    EXPECT_FALSE(m_dlg.IsEnded());
    EXPECT_EQ(m_dlg.m_strStatus, "(...as reported by modem in COM4:)");
    EXPECT_EQ(m_dlg.m_strPercent, " Country #");
    EXPECT_EQ(m_dlg.m_strPacket, "22");
    EXPECT_EQ(m_dlg.m_nCountry, 22);
    EXPECT_EQ(m_dlg.m_strAti3, "*** Not checked ***");
    EXPECT_EQ(m_dlg.m_strAti119, "*** Not checked ***");
    // Pushed to the window, with the port left open for the upgrade.
    EXPECT_EQ(m_dlg.GetControlText(IDC_STATUS), "(...as reported by modem in COM4:)");
    EXPECT_EQ(m_dlg.GetControlText(IDC_PACKET), "22");
    EXPECT_EQ(m_dlg.GetControlText(IDC_ATI3), "*** Not checked ***");
    EXPECT_EQ(g_ComPort.m_strPortName, "COM4");
    EXPECT_EQ(g_ComPort.SendCommand("AT", true), 2);
    std::string reply;
    EXPECT_GT(g_ComPort.ReadResponse(reply), 0);
}

// Empty UARTs (every modem line off) whose driver holds the bytes for CTS,
// as Windows does: each costs one write time-out and shows no box.
TEST_F(DetectModem, EmptyUartsArePassedOverInSilence)
{
    FakeLine empty[3];
    for (int n = 1; n <= 3; ++n) {
        empty[n - 1].lines = {false, false};
        empty[n - 1].writeRoom = 0;
        m_ports.Attach(n, empty[n - 1]);
    }
    auto& modem = m_ports.Start(4);
    m_dlg.DetectModem();

    EXPECT_EQ(m_messages.texts, (Texts{kPrompt, kNoDataFile}));
    EXPECT_EQ(modem.await_received("ATE0\r\nATI5\r\n"), "ATE0\r\nATI5\r\n");
    EXPECT_EQ(m_dlg.m_strStatus, "(...as reported by modem in COM4:)");
    for (const FakeLine& line : empty)
        EXPECT_EQ(line.writeCalls, 1u) << "the command's text timed out; its CR and LF were not tried";
}

TEST_F(DetectModem, NoModemAnywhereEndsTheDialog)
{
    auto& lastPort = m_ports.Start(9, {"--silent"});
    m_dlg.DetectModem();
    EXPECT_EQ(m_messages.texts,
        (Texts{kPrompt,
            "No Response from Modem!\n\n1. Cannot find a COM: with modem attached, or\n"
            "2. Did you turn on the modem?\n3. Did the modem connection cable installed properly?"}));
    EXPECT_EQ(lastPort.await_received("ATE0\r\n"), "ATE0\r\n") << "COM9 is tried too";
    EXPECT_TRUE(m_dlg.IsEnded());
    EXPECT_EQ(m_dlg.Result(), IDCANCEL);
    EXPECT_EQ(m_dlg.m_strStatus, "");
}

struct CountryCase {
    std::vector<std::string> args;
    const char* percent; // the field before the country code
    const char* packet; // the country code's field
};

TEST_F(DetectModem, UnusableCountryRepliesEndTheDialog)
{
    const CountryCase cases[] = {
        {{"--country", "0"}, " Country #", "0"}, {{"--ati5", "Country 22"}, " Country #", "Country 22"},
        {{"--ati5", ""}, "", ""}, // the reply begins with OK
        {{"--no-ok"}, "", ""}, // no OK at all
    };
    for (const CountryCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        auto& sim = m_ports.Start(1, c.args);
        m_messages.texts.clear();
        CQuilvexDlg dlg;
        dlg.DetectModem();
        EXPECT_EQ(m_messages.texts, (Texts{kPrompt, kBadReply}));
        EXPECT_EQ(dlg.m_strPercent, c.percent);
        EXPECT_EQ(dlg.m_strPacket, c.packet);
        EXPECT_EQ(dlg.m_nCountry, 0);
        EXPECT_TRUE(dlg.IsEnded());
        EXPECT_EQ(dlg.Result(), IDCANCEL);
        EXPECT_EQ(sim.await_received("ATE0\r\nATI5\r\n"), "ATE0\r\nATI5\r\n")
            << "no identity question after a bad country reply";
        g_ComPort.Close();
    }
}

TEST_F(DetectModem, SampleDataFileAcceptsTheDemoModem)
{
    std::filesystem::copy_file(QX_SAMPLE_DATA_FILE, "quilvex.dat");
    auto& sim = m_ports.Start(2);
    m_dlg.DetectModem();
    EXPECT_EQ(m_messages.texts, Texts{kPrompt});
    const std::string sent = "ATE0\r\nATI5\r\nATI3\r\nATI119\r\n";
    EXPECT_EQ(sim.await_received(sent), sent);
    EXPECT_FALSE(m_dlg.IsEnded());
    EXPECT_EQ(m_dlg.GetControlText(IDC_ATI3), "V2.301-V90_2M_DLP");
    EXPECT_EQ(m_dlg.GetControlText(IDC_ATI119), "DRAVIK 56K RevC");
    EXPECT_EQ(m_dlg.GetControlText(IDC_FILENAME), "firmware.dlf");
    EXPECT_EQ(m_dlg.GetControlText(IDC_STATUS), "(...as reported by modem in COM2:)");
}

TEST_F(DetectModem, RejectedIdentityEndsTheDialog)
{
    m_cwd.Write("quilvex.dat", "L3 = 5\nE3 = V2.30\n");
    auto& sim = m_ports.Start(1);
    m_dlg.DetectModem();
    EXPECT_EQ(m_messages.texts,
        (Texts{kPrompt, "Missing ATI119 check length in 'quilvex.dat'!", "Unknown Modem for Upgrade!"}));
    EXPECT_EQ(sim.await_received("ATE0\r\nATI5\r\n"), "ATE0\r\nATI5\r\n");
    EXPECT_TRUE(m_dlg.IsEnded());
    EXPECT_EQ(m_dlg.Result(), IDCANCEL);
}

} // namespace
