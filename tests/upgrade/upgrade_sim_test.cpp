// The Upgrade command end to end against the modem simulator: discovery,
// the transfer, the country-code restore, and every way each can fail.
#include <gtest/gtest.h>

#include "tests/upgrade/sim_session.h"
#include "upgrade/Transfer.h"

namespace {

using Strings = std::vector<std::string>;
constexpr const char* kSuccess = "Successfully upgraded the firmware!";
constexpr const char* kRestoreError = "Error in restoring the old country code,\nfirmware upgrade failure!";

TEST(UpgradeSim, WholeUpgradeDeliversTheImageAndRestoresTheCountry)
{
    SimSession s({"--country", "22"});
    ASSERT_TRUE(s.sim.started()) << s.sim.error();
    ASSERT_TRUE(s.Discover());
    std::string path = s.MakeImage(524288);

    s.Upgrade(path);

    EXPECT_EQ(s.messages.texts, Strings{kSuccess});
    EXPECT_EQ(s.sim.wait_for_event("image-written"), "image-written 524288 " + s.sim.image_path());
    EXPECT_TRUE(simtest::ReadWholeFile(s.sim.image_path()) == s.image);
    // The loader swallows the LF after AT~D1; the rest is command mode's.
    const std::string sent = "ATE0\r\nATI5\r\nAT~D1\rAT*NC22&F\r\n";
    EXPECT_EQ(s.sim.await_received(sent), sent);
    EXPECT_EQ(s.sim.wait_for_event("country-restored"), "country-restored 22");
    EXPECT_TRUE(s.dlg.IsEnded());
    EXPECT_EQ(s.dlg.Result(), IDOK);
    EXPECT_EQ(s.dlg.m_strPacket, "P#512");
    EXPECT_EQ(s.dlg.m_strPercent, "(100%)");
    EXPECT_EQ(s.dlg.m_ctlProgress.GetPos(), 100);
    EXPECT_TRUE(s.PortReleased());
}

TEST(UpgradeSim, WrongSizesAreRefusedBeforeTheModemHearsAnything)
{
    SimSession s({});
    ASSERT_TRUE(s.sim.started()) << s.sim.error();
    ASSERT_TRUE(s.Discover());
    for (size_t size : {524287u, 524289u}) {
        s.messages.texts.clear();
        s.Upgrade(s.MakeImage(size));
        EXPECT_EQ(s.messages.texts, Strings{"Firmware size must be 512K bytes!"}) << size;
        EXPECT_FALSE(s.dlg.IsEnded());
    }
    EXPECT_EQ(s.sim.await_received("ATE0\r\nATI5\r\n"), "ATE0\r\nATI5\r\n");
    EXPECT_FALSE(s.PortReleased()); // still ours, for the next try
}

// Each row: simulator flags, what the user is told, and whether the
// country code is sent back (only after a transfer that succeeded).
struct SimCase {
    const char* name;
    std::vector<std::string> args;
    const char* message;
    bool restoreSent;
};

void PrintTo(const SimCase& c, std::ostream* os)
{
    *os << c.name;
}

class UpgradeSimCase : public ::testing::TestWithParam<SimCase> { };

TEST_P(UpgradeSimCase, ReportsTheOutcomeAndEndsTheDialog)
{
    const SimCase& c = GetParam();
    SimSession s(c.args);
    ASSERT_TRUE(s.sim.started()) << s.sim.error();
    ASSERT_TRUE(s.Discover());

    s.Upgrade(s.MakeImage(524288));

    EXPECT_EQ(s.messages.texts, Strings{c.message});
    const std::string sent = s.sim.received();
    EXPECT_EQ(sent.find("AT*NC22&F\r\n") != std::string::npos, c.restoreSent) << sent;
    EXPECT_TRUE(s.dlg.IsEnded());
    EXPECT_EQ(s.dlg.Result(), IDOK);
    EXPECT_TRUE(s.PortReleased());
    if (c.restoreSent) {
        EXPECT_TRUE(simtest::ReadWholeFile(s.sim.image_path()) == s.image);
    }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, UpgradeSimCase,
    ::testing::Values(
        // A refused packet goes again, still with two CRC bytes: the loader
        // would refuse a checksum frame and the image would differ.
        SimCase{"NakThenResend", {"--nak-packet", "3"}, kSuccess, true},
        SimCase{"ChecksumStart", {"--start", "nak", "--nak-packet", "1"}, kSuccess, true},
        SimCase{"FifthNak", {"--nak-packet", "2", "--nak-count", "5"}, kMsgErrorLimit, false},
        SimCase{"Cancel", {"--can-packet", "2"}, kMsgCanceled, false},
        SimCase{"UnknownReply", {"--garbage-packet", "2"}, kMsgUnknownReply, false},
        SimCase{"PacketTimeout", {"--silent-packet", "2"}, kMsgPacketTimeout, false},
        SimCase{"NoEotAck", {"--no-eot-ack"}, kMsgEotTimeout, false},
        SimCase{"NoStartCharacter", {"--loader-silent"}, kMsgStartTimeout, false},
        SimCase{"RestoreReplyWithText", {"--start", "ff", "--restore-reply", "\\r\\n22\\r\\nOK\\r\\n"}, kSuccess, true},
        SimCase{"RestoreReplyOnlyOk", {"--restore-reply", "OK"}, kSuccess, true},
        SimCase{"RestoreReplyWithoutOk", {"--restore-reply", "\\r\\nERROR\\r\\n"}, kRestoreError, true},
        SimCase{"NoRestoreReply", {"--restore-no-ok"}, kRestoreError, true}),
    [](const ::testing::TestParamInfo<SimCase>& info) { return std::string(info.param.name); });

} // namespace
