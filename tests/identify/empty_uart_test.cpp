// Discovery over real terminals that have modem lines (the modem-lines shim
// gives them): ports with nothing plugged in, or with a modem holding CTS
// off, are passed over without a box, and the modem behind them is found.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "testing/message_recorder.h"
#include "testing/modem_lines.h"
#include "testing/sim_process.h"
#include "tests/identify/temp_cwd.h"
#include "tests/support/pty.h"

namespace {

using Texts = std::vector<std::string>;

const char kPrompt[] =
    "Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?";
const char kNoDataFile[] = "Missing data file 'quilvex.dat'!\n\nBypass ATI3/I119 checking.";

TEST(EmptyUarts, ArePassedOverInSilenceForTheModemOnCom4)
{
    ASSERT_TRUE(ModemLines::Loaded()) << "run with the modem-lines shim in LD_PRELOAD";
    struct Case {
        const char* what;
        const char* lines; // on COM1 to COM3
    } cases[] = {
        {"nothing plugged in: every line off", ""},
        {"a device holding CTS off with carrier on", "dcd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempCwd cwd;
        ModemLines lines(std::filesystem::current_path().string());
        simtest::SimPorts ports;
        simtest::ModemPty com[3];
        std::map<std::string, std::string> chosen;
        for (int n = 1; n <= 3; ++n) {
            ASSERT_TRUE(com[n - 1].Ok());
            ports.Map(n, com[n - 1].Path());
            chosen[com[n - 1].Path()] = c.lines;
        }
        ASSERT_TRUE(lines.Set(chosen));
        auto& modem = ports.Start(4);
        MessageRecorder messages;
        {
            CQuilvexDlg dlg;
            dlg.DetectModem();
            EXPECT_EQ(messages.texts, (Texts{kPrompt, kNoDataFile}));
            EXPECT_EQ(modem.await_received("ATE0\r\nATI5\r\n"), "ATE0\r\nATI5\r\n");
            EXPECT_EQ(dlg.m_strStatus, "(...as reported by modem in COM4:)");
            g_ComPort.Close();
        }
        // The program saw the lines the shim gave, on every one of the three.
        const std::string log = lines.Log();
        for (const simtest::ModemPty& p : com)
            EXPECT_NE(log.find(p.Path() + " TIOCMGET 0x" + (c.lines[0] ? "40" : "0") + "\n"), std::string::npos) << log;
    }
}

} // namespace
