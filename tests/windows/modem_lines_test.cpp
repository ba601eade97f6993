// The Windows build's port with modem lines, under Wine with the modem-lines
// shim preloaded (scripts/test-windows.sh starts the cases listed with
// "lines:"): empty UARTs before the modem, and CTS dropped mid-transfer.
// The script names each port's terminal in ports.txt in the case's folder;
// the case says the lines in modem-lines there, which the shim reads.
// The session names ui::IDOK, which <windows.h> would mangle: it comes first.
#include "tests/support/dialog_session.h"

#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/pause.h"
#include "tests/windows/sim_cases.h"
#include "tests/windows/wine_sim.h"
#include "upgrade/Transfer.h"

namespace {

using Texts = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

const char kPrompt[] =
    "Preparing to detect Modem...\n\nPlease close any other Application Program\n\nDo you want to continue?";
const char kNoDataFile[] = "Missing data file 'quilvex.dat'!\n\nBypass ATI3/I119 checking.";

// The lines of the ports the script gave terminals to.
class PortLines {
public:
    explicit PortLines(const WineSim& sim) : m_sim(sim)
    {
        std::ifstream in(sim.path("ports.txt"));
        std::string com, tty;
        while (in >> com >> tty)
            m_tty[com] = tty;
    }
    bool Knows(const std::string& com) const { return m_tty.count(com) != 0; }
    std::string Tty(const std::string& com) const { return m_tty.at(com); }

    // Gives each port the lines named ("cts dcd"; "" all off), in one
    // replacement of the file. False if it could not be written.
    bool Set(const std::map<std::string, std::string>& lines)
    {
        const std::string next = m_sim.path("modem-lines.next").string();
        {
            std::ofstream out(next, std::ios::trunc);
            for (const auto& [com, on] : lines)
                out << m_tty.at(com) << ' ' << on << '\n';
            if (!out.flush())
                return false;
        }
        return MoveFileExA(next.c_str(), m_sim.path("modem-lines").string().c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    }

    // What the shim logged: the lines it gave and the calls that set them.
    std::string Log() const { return simtest::ReadWholeFile(m_sim.path("modem-lines.log")); }

private:
    const WineSim& m_sim;
    std::map<std::string, std::string> m_tty;
};

class Session : public DialogSession {
public:
    Session() : lines(sim)
    {
        if (sim.present())
            WorkIn(sim.dir());
    }
    WineSim sim;
    PortLines lines;
};

// Three ports with nothing plugged in (every line off), as on-board UARTs
// are: the driver holds the command for CTS through the write time-out and
// writes nothing. Each port is passed over without a box, and the modem
// on COM4 is found.
QX_SIM_CASE(WinModemLines, EmptyUartsBeforeTheModemShowNoBox, "lines:com1,com2,com3")
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    ASSERT_TRUE(s.lines.Knows("COM1") && s.lines.Knows("COM4"));
    ASSERT_TRUE(s.lines.Set({{"COM1", ""}, {"COM2", ""}, {"COM3", ""}}));

    s.dlg.DetectModem();

    EXPECT_EQ(s.messages.texts, (Texts{kPrompt, kNoDataFile}));
    EXPECT_EQ(g_ComPort.m_strPortName, "COM4");
    EXPECT_EQ(s.dlg.GetControlText(IDC_STATUS), "(...as reported by modem in COM4:)");
    EXPECT_EQ(s.sim.received(), "ATE0\r\nATI5\r\n");
    // Wine read the lines through the shim: the empty ports had none on.
    EXPECT_NE(s.lines.Log().find(s.lines.Tty("COM1") + " TIOCMGET 0x0\n"), std::string::npos) << s.lines.Log();
}

// The modem drops CTS with carrier on in the middle of a transfer: the
// packet's reply wait ends it with the transfer's message, within one write
// time-out and that wait, and the desktop is answered all the while.
QX_SIM_CASE(WinModemLines, CtsDroppedMidTransferEndsInTimeWithTheWindowAnswering, "lines:")
{
    Session s;
    ASSERT_TRUE(s.sim.present());
    ASSERT_TRUE(s.lines.Set({{"COM4", "cts dcd dsr"}}));
    s.dlg.DetectModem();
    ASSERT_EQ(s.messages.texts, (Texts{kPrompt, kNoDataFile}));
    s.messages.texts.clear();

    Clock::time_point dropped{};
    std::vector<Clock::time_point> answered; // desktop hook runs after the drop
    platform::DesktopHook previous = platform::SetDesktopHook([&] {
        if (dropped != Clock::time_point{}) {
            answered.push_back(Clock::now());
        } else if (s.dlg.m_strPacket.starts_with("P#") && std::atoi(s.dlg.m_strPacket.c_str() + 2) >= 3) {
            ASSERT_TRUE(s.lines.Set({{"COM4", "dcd dsr"}}));
            dropped = Clock::now();
        }
    });
    const std::string path = s.MakeImage(40 * 1024, s.sim.path("new.dlf"));
    g_ComPort.SendCommand("AT~D1", false);
    FILE* file = std::fopen(path.c_str(), "rb");
    const int result = SendFirmware(file, true);
    const Clock::time_point ended = Clock::now();
    std::fclose(file);
    platform::SetDesktopHook(previous);

    EXPECT_EQ(result, 0);
    EXPECT_EQ(s.messages.texts, Texts{kMsgPacketTimeout});
    ASSERT_NE(dropped, Clock::time_point{}) << "the transfer never reached packet 3";
    // One write time-out (1 s) and the reply wait (1999 polls of 1 ms),
    // with room for a loaded machine.
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(ended - dropped).count();
    EXPECT_LT(took, 1000 + 1999 + 1500);
    ASSERT_FALSE(answered.empty());
    auto longest = answered.front() - dropped;
    for (size_t i = 1; i < answered.size(); ++i)
        longest = std::max(longest, answered[i] - answered[i - 1]);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count(), 250)
        << answered.size() << " answers in " << took << " ms";
}

} // namespace
