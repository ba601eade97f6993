// Files no user should hand the program, and what it makes of them: a data
// file of garbage, of one huge line, of NUL bytes; an image behind a very
// long path or one the user may not read. Each gets the program's message,
// and the modem hears only what it should.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/fake_serial.h"
#include "tests/upgrade/sim_session.h"

namespace fs = std::filesystem;

namespace {

using Strings = std::vector<std::string>;
using namespace std::string_literals;

const char kUnknownModem[] = "Unknown Modem for Upgrade!";
const char kCannotOpen[] = "Cannot open the file!";
const std::string kDiscovery = "ATE0\r\nATI5\r\n";

// Discovery with `dataFile` as quilvex.dat. Returns the messages after the
// opening prompt.
Strings DiscoverWith(SimSession& s, const std::string& dataFile)
{
    std::ofstream(s.sim.path("quilvex.dat"), std::ios::binary) << dataFile;
    s.dlg.DetectModem();
    Strings after = s.messages.texts;
    if (!after.empty())
        after.erase(after.begin());
    return after;
}

struct DataFileCase {
    const char* name;
    std::string bytes;
    Strings messages;
    std::string sent; // everything the modem received
};

TEST(HostileDataFile, ShapedGarbageIsRefusedWithTheEntryItLacks)
{
    const DataFileCase cases[] = {
        // A NUL ends a line's text: the ATI119 length comes out empty.
        {"NulBytes", "; ids\nL3 = 5\0junk\nE3 = V2.30\0tail\nL119 = \0 7\nE119 = DRAVIK\n"s,
            {"Missing ATI119 check length in 'quilvex.dat'!", kUnknownModem}, kDiscovery},
        {"MegabyteOfNul", std::string(1 << 20, '\0'), {"Missing ATI3 check length in 'quilvex.dat'!", kUnknownModem},
            kDiscovery},
        // One 1 MB line: only its first 255 characters make the entry, the
        // rest of it has no "=" and is skipped; the entries after it count.
        {"MegabyteLine", "L3 = 10\nE3 = " + std::string(1 << 20, 'V') + "\nL119 = 0\nE119 = x\n",
            {"ATI3 response mismatch!\n\nExpected: " + std::string(250, 'V') + "\nReceived: V2.301-V90_2M_DLP",
                kUnknownModem},
            kDiscovery + "ATI3\r\n"},
    };
    for (const DataFileCase& c : cases) {
        SCOPED_TRACE(c.name);
        SimSession s({});
        ASSERT_TRUE(s.sim.started()) << s.sim.error();

        EXPECT_EQ(DiscoverWith(s, c.bytes), c.messages);
        EXPECT_EQ(s.sim.await_received(c.sent), c.sent);
        EXPECT_TRUE(s.dlg.IsEnded());
        EXPECT_EQ(s.dlg.Result(), IDCANCEL);
    }
}

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Random bytes: raw, and with the end-of-file mark taken out so that the
// reader has to go through all of them.
TEST(HostileDataFile, RandomBytesGiveOnlyTheProgramsOwnVerdicts)
{
    for (bool withoutEndMark : {false, true}) {
        SCOPED_TRACE(withoutEndMark ? "without 0x1A" : "raw");
        std::mt19937 rng(withoutEndMark ? 7 : 3);
        std::string bytes(64 * 1024, '\0');
        for (char& b : bytes) {
            b = static_cast<char>(rng() & 0xFF);
            if (withoutEndMark && b == '\x1A')
                b = '=';
        }
        SimSession s({});
        ASSERT_TRUE(s.sim.started()) << s.sim.error();

        const Strings messages = DiscoverWith(s, bytes);
        const std::string sent = s.sim.received();

        // Accepted silently, or refused with one reason and the closing word.
        if (!s.dlg.IsEnded()) {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(sent, kDiscovery + "ATI3\r\nATI119\r\n");
            continue;
        }
        ASSERT_EQ(messages.size(), 2u) << ::testing::PrintToString(messages);
        EXPECT_EQ(messages[1], kUnknownModem);
        const std::string& why = messages[0];
        if (StartsWith(why, "Missing "))
            EXPECT_EQ(sent, kDiscovery) << why;
        else if (StartsWith(why, "ATI3 response mismatch!\n\nExpected: "))
            EXPECT_EQ(sent, kDiscovery + "ATI3\r\n");
        else if (StartsWith(why, "ATI119 response mismatch!\n\nExpected: "))
            EXPECT_EQ(sent, kDiscovery + "ATI3\r\nATI119\r\n");
        else
            ADD_FAILURE() << "not one of the program's messages: " << why;
    }
}

TEST(HostileImagePath, FourThousandCharactersAreUsedWhole)
{
    SimSession s({});
    ASSERT_TRUE(s.sim.started()) << s.sim.error();
    ASSERT_TRUE(s.Discover());

    // One name far past what a directory entry may hold: no such file.
    const std::string tooLong = s.sim.dir() + "/" + std::string(4000 - s.sim.dir().size() - 1, 'n');
    s.Upgrade(tooLong);
    EXPECT_EQ(s.messages.texts, Strings{kCannotOpen});
    EXPECT_FALSE(s.dlg.IsEnded());
    EXPECT_EQ(s.dlg.m_strFileName.size(), 4000u);

    // The same length through directories: the image is found and sent.
    fs::path deep = s.sim.dir();
    while (deep.string().size() < 4000 - 250)
        deep /= std::string(200, 'd');
    fs::create_directories(deep);
    const std::string image = s.MakeImage(524288);
    fs::path target = deep / std::string(4000 - deep.string().size() - 1, 'f');
    fs::copy_file(image, target);
    ASSERT_EQ(target.string().size(), 4000u);

    s.messages.texts.clear();
    s.Upgrade(target.string());
    EXPECT_EQ(s.messages.texts, Strings{"Successfully upgraded the firmware!"});
    EXPECT_TRUE(simtest::ReadWholeFile(s.sim.image_path()) == s.image);
    const std::string sent = kDiscovery + "AT~D1\rAT*NC22&F\r\n";
    EXPECT_EQ(s.sim.await_received(sent), sent);
}

// An image the user may not read. Run in a child process, which drops root
// first (root reads any file whatever its mode); the verdict comes back
// through a pipe: the messages, then whether anything reached the modem.
TEST(HostileImagePath, UnreadableImageIsRefusedBeforeTheModemHearsAnything)
{
    char pattern[] = "/tmp/qx-unreadable-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0); // the unprivileged child must reach the file
    const fs::path image = dir / "locked.dlf";
    std::ofstream(image, std::ios::binary) << std::string(524288, 'L');
    ASSERT_EQ(::chmod(image.c_str(), 0), 0);

    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        ::close(fds[0]);
        int status = 0;
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            status = 3;
        std::string verdict;
        if (status == 0) {
            FakeLine line;
            line.Install();
            MessageRecorder messages;
            CQuilvexDlg dlg;
            g_ComPort.Probe("COM1", "");
            g_ComPort.Reopen();
            dlg.SetControlText(IDC_FILENAME, image.string());
            dlg.OnOK();
            for (const std::string& text : messages.texts)
                verdict += text + "\n";
            verdict += dlg.IsEnded() ? "ended\n" : "open\n";
            verdict += line.written.empty() ? "modem untouched" : "sent to modem";
            g_ComPort.Close();
        }
        if (::write(fds[1], verdict.data(), verdict.size()) < 0)
            status = 4;
        ::_exit(status);
    }
    ::close(fds[1]);
    std::string verdict;
    char buf[256];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        verdict.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::remove_all(dir);

    ASSERT_TRUE(WIFEXITED(status)) << status;
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "running as root and cannot drop to an unprivileged user";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(verdict, std::string(kCannotOpen) + "\nopen\nmodem untouched");
}

} // namespace
