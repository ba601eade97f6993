// The modem going away at each stage of a run, and the image file shrinking
// under the program's feet: each ends with the message for its stage, after
// exactly the polls that stage allows, and never with a success.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/port_tap.h"
#include "tests/upgrade/sim_session.h"
#include "upgrade/Transfer.h"

namespace {

using Strings = std::vector<std::string>;

constexpr size_t kCommandBytes = 19; // ATE0, ATI5 and AT~D1, each with CR LF
constexpr size_t kPacketBytes = 3 + 1024 + 2;
const char kBadReply[] = "Modem does not response properly!";
const char kNoModem[] =
    "No Response from Modem!\n\n1. Cannot find a COM: with modem attached, or\n2. Did you turn on the modem?\n"
    "3. Did the modem connection cable installed properly?";

TEST(ModemGone, DuringDiscoveryEndsTheDialogWithTheStageMessage)
{
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* message;
        std::string tried; // all the program tried to send
    } cases[] = {
        {"at the first command", {"--hangup-at", "discovery"}, kNoModem, "ATE0\r\n"},
        {"after answering ATE0", {"--hangup-after-bytes", "7"}, kBadReply, "ATE0\r\nATI5\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PortTap tap;
        SimSession s(c.args);
        ASSERT_TRUE(s.sim.started()) << s.sim.error();

        s.dlg.DetectModem();

        ASSERT_EQ(s.messages.texts.size(), 2u);
        EXPECT_EQ(s.messages.texts[1], c.message);
        EXPECT_EQ(tap.record().tried, c.tried);
        EXPECT_TRUE(s.dlg.IsEnded());
        EXPECT_EQ(s.dlg.Result(), IDCANCEL);
    }
}

// Each row: where the simulator closes its end once discovery is done,
// what the user is told, and how many polls the last wait may make.
struct StageCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;
    size_t pollsAfterLastWrite;
};

void PrintTo(const StageCase& c, std::ostream* os)
{
    *os << c.name;
}

class ModemGoneDuringUpgrade : public ::testing::TestWithParam<StageCase> { };

TEST_P(ModemGoneDuringUpgrade, ReportsTheStageAndEndsWithoutRestore)
{
    const StageCase& c = GetParam();
    PortTap tap;
    SimSession s(c.args);
    ASSERT_TRUE(s.sim.started()) << s.sim.error();
    ASSERT_TRUE(s.Discover());

    s.Upgrade(s.MakeImage(524288));

    EXPECT_EQ(s.messages.texts, Strings{c.message});
    const PortTap::Record& r = tap.record();
    EXPECT_EQ(r.pollsSinceWrite, c.pollsAfterLastWrite);
    EXPECT_EQ(r.tried.find("AT*NC"), std::string::npos);
    EXPECT_TRUE(s.dlg.IsEnded());
    EXPECT_EQ(s.dlg.Result(), IDOK);
    EXPECT_EQ(r.opens, r.closes) << "the port must be closed";
    EXPECT_NE(s.sim.wait_for_event("hangup"), "");
    EXPECT_EQ(s.sim.wait_for_event("image-written", std::chrono::milliseconds(0)), "");
    if (std::string(c.name) == "Eot") {
        // All 512 packets went once, then ten EOTs into the dead line.
        EXPECT_EQ(r.tried.size(), kCommandBytes + 512 * kPacketBytes + kMaxEots);
        EXPECT_EQ(r.tried.substr(r.tried.size() - kMaxEots), std::string(kMaxEots, '\x04'));
    }
}

INSTANTIATE_TEST_SUITE_P(Stages, ModemGoneDuringUpgrade,
    ::testing::Values(StageCase{"StartWait", {"--hangup-at", "start"}, kMsgStartTimeout,
                          size_t(kStartPeriods) * kStartPollsPerPeriod},
        // Half-way through packet 3: its remaining bytes go nowhere.
        StageCase{"MidPacket", {"--hangup-after-bytes", std::to_string(kCommandBytes + 2 * kPacketBytes + 500)},
            kMsgPacketTimeout, size_t(kPacketReplyPolls)},
        StageCase{"Eot", {"--hangup-at", "eot"}, kMsgEotTimeout, size_t(kEotReplyPolls)}),
    [](const ::testing::TestParamInfo<StageCase>& info) { return std::string(info.param.name); });

// Each row: the moment the image file is cut short, its new length, and
// how many whole packets may still go out before the read error.
struct ShrinkCase {
    const char* name;
    bool atSwitchCommand; // when AT~D1 goes out; otherwise at the start character
    uintmax_t newSize;
    size_t packetsSent;
};

TEST(ImageShrinks, BetweenTheSizeCheckAndTheEndIsADiskError)
{
    const ShrinkCase cases[] = {
        // Before the transfer has looked at the file: nothing may go out as
        // if a shorter image were the one the user checked.
        {"before the transfer", true, 100000, 0},
        // Mid-transfer: packet 98 would be part data, part padding.
        {"mid-transfer", false, 100000, 97},
        // Only the last packet is short: padding it would flash a wrong
        // image and report success.
        {"last packet short", false, 524000, 511},
    };
    for (const ShrinkCase& c : cases) {
        SCOPED_TRACE(c.name);
        PortTap tap;
        SimSession s({});
        ASSERT_TRUE(s.sim.started()) << s.sim.error();
        ASSERT_TRUE(s.Discover());
        const std::string path = s.MakeImage(524288);
        bool switched = false, cut = false;
        auto cutNow = [&] {
            if (!cut)
                std::filesystem::resize_file(path, c.newSize);
            cut = true;
        };
        tap.record().onWrite = [&](const std::string& bytes) {
            if (bytes == "AT~D1") {
                switched = true;
                if (c.atSwitchCommand)
                    cutNow();
            }
        };
        tap.record().onRead = [&](const std::string&) {
            if (switched)
                cutNow();
        };

        s.Upgrade(path);

        EXPECT_TRUE(cut);
        EXPECT_EQ(s.messages.texts, Strings{kMsgDiskRead});
        const std::string& tried = tap.record().tried;
        EXPECT_EQ(tried.size(), kCommandBytes + c.packetsSent * kPacketBytes);
        EXPECT_EQ(tried.find("AT*NC"), std::string::npos);
        EXPECT_TRUE(s.dlg.IsEnded());
        EXPECT_TRUE(s.PortReleased());
        EXPECT_EQ(s.sim.wait_for_event("image-written", std::chrono::milliseconds(0)), "");
    }
}

} // namespace
