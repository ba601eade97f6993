// Hostile things on the serial side: replies far longer than a read takes,
// and COM names that point at things that are not serial ports. Each gets
// the program's message, and nothing goes where it should not.
#include "testing/message_recorder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/QuilvexDlg.h"
#include "link/ComPort.h"
#include "testing/sim_process.h"
#include "tests/identify/temp_cwd.h"
#include "tests/support/pty.h"
#include "tests/upgrade/sim_session.h"

namespace fs = std::filesystem;

namespace {

using simtest::ModemPty;

using Strings = std::vector<std::string>;

const char kBadReply[] = "Modem does not response properly!";
const char kUnknownModem[] = "Unknown Modem for Upgrade!";
const char kUnknownReply[] = "*** Unknown ***";
const char kNoDataFile[] = "Missing data file 'quilvex.dat'!\n\nBypass ATI3/I119 checking.";
const std::string kDiscovery = "ATE0\r\nATI5\r\n";
const std::string k4K(4096, 'w'); // reply text, with no "OK" anywhere in it

struct LongReplyCase {
    const char* name;
    std::vector<std::string> args;
    const char* dataFile; // null: none
    Strings messages; // after the opening prompt
    std::string sent;
};

TEST(LongReplies, MoreThanOneReadTakesIsNoUsableReply)
{
    const LongReplyCase cases[] = {
        {"CountryCode", {"--ati5", "22" + k4K}, nullptr, {kBadReply}, kDiscovery},
        {"IdentityChecked", {"--ati3", "V2.301" + k4K}, "L3 = 5\nE3 = V2.30\nL119 = 0\nE119 = x\n",
            {"ATI3 response mismatch!\n\nExpected: V2.30\nReceived: *** Unknown ***", kUnknownModem},
            kDiscovery + "ATI3\r\n"},
        // Not compared: accepted, both shown as unknown (ATI119's read
        // still takes the tail of the ATI3 reply).
        {"IdentityUnchecked", {"--ati3", k4K, "--ati119", k4K}, "L3 = 0\nE3 = x\nL119 = 0\nE119 = x\n", {},
            kDiscovery + "ATI3\r\nATI119\r\n"},
    };
    for (const LongReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimSession s(c.args);
        ASSERT_TRUE(s.sim.started()) << s.sim.error();
        if (c.dataFile)
            std::ofstream(s.sim.path("quilvex.dat")) << c.dataFile;

        s.dlg.DetectModem();

        ASSERT_FALSE(s.messages.texts.empty());
        Strings after(s.messages.texts.begin() + 1, s.messages.texts.end());
        if (!c.dataFile)
            after.erase(std::remove(after.begin(), after.end(), kNoDataFile), after.end());
        EXPECT_EQ(after, c.messages);
        EXPECT_EQ(s.sim.await_received(c.sent), c.sent);
        EXPECT_EQ(s.dlg.IsEnded(), !c.messages.empty());
        if (!s.dlg.IsEnded()) {
            EXPECT_EQ(s.dlg.m_strAti3, kUnknownReply);
            EXPECT_EQ(s.dlg.m_strAti119, kUnknownReply);
        }
    }
}

// A device on a pty that answers every line, ATE0 included, with 4 KB.
class ChattyModem {
public:
    ChattyModem() : m_thread([this] { Serve(); }) { }
    ~ChattyModem() { Stop(); }
    ChattyModem(const ChattyModem&) = delete;
    ChattyModem& operator=(const ChattyModem&) = delete;

    const std::string& Path() const { return m_pty.Path(); }
    // Stops answering (after one more look at the line) and returns
    // everything it heard.
    std::string Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        return m_heard;
    }

private:
    void Serve()
    {
        while (!m_stop) {
            const std::string got = m_pty.Drain(20);
            m_heard += got;
            for (char ch : got)
                if (ch == '\r')
                    Answer("\r\n" + k4K + "\r\n");
        }
    }

    // Writes `reply`, giving up on a line that takes nothing for a second.
    void Answer(const std::string& reply)
    {
        size_t off = 0;
        while (off < reply.size()) {
            ssize_t n = ::write(m_pty.Master(), reply.data() + off, reply.size() - off);
            if (n > 0) {
                off += static_cast<size_t>(n);
                continue;
            }
            pollfd p{m_pty.Master(), POLLOUT, 0};
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || ::poll(&p, 1, 1000) <= 0)
                return;
        }
    }

    ModemPty m_pty;
    std::atomic<bool> m_stop{false};
    std::string m_heard;
    std::thread m_thread;
};

TEST(LongReplies, EveryCommandAnsweredWithFourKilobytes)
{
    TempCwd cwd;
    simtest::SimPorts ports;
    ChattyModem modem;
    ports.Map(1, modem.Path());
    MessageRecorder messages;
    CQuilvexDlg dlg;

    dlg.DetectModem();
    g_ComPort.Close();

    // ATE0's long reply is an answer; ATI5's read gets the rest of it.
    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[1], kBadReply);
    EXPECT_TRUE(dlg.IsEnded());
    EXPECT_EQ(dlg.Result(), IDCANCEL);
    EXPECT_EQ(dlg.m_nCountry, 0);
    EXPECT_EQ(modem.Stop(), kDiscovery);
}

TEST(PortNames, ThingsThatAreNotPortsArePassedOverUntouched)
{
    TempCwd cwd;
    simtest::SimPorts ports;
    const fs::path plain = cwd.Dir() / "plain";
    const std::string content = "a file, not a modem\n";
    std::ofstream(plain) << content;
    const fs::path fifo = cwd.Dir() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ports.Map(1, plain);
    ports.Map(2, cwd.Dir());
    ports.Map(3, fifo);
    ports.Map(4, "/dev/null");
    auto& modem = ports.Start(5);
    MessageRecorder messages;
    CQuilvexDlg dlg;

    dlg.DetectModem();

    ASSERT_EQ(messages.texts.size(), 2u);
    EXPECT_EQ(messages.texts[1], kNoDataFile);
    EXPECT_FALSE(dlg.IsEnded());
    EXPECT_EQ(dlg.m_strStatus, "(...as reported by modem in COM5:)");
    EXPECT_EQ(modem.await_received(kDiscovery), kDiscovery);
    std::ifstream in(plain, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
    EXPECT_TRUE(fs::is_fifo(fifo));
}

} // namespace
