// The Upgrade command with lrzsz's rx as the receiver behind the
// simulator's relay. rx keeps one-second timers of its own (inside a
// frame, and of quiet before it answers a broken frame or an EOT), so on a
// loaded machine a stalled relay or receiver can outlast the sender's
// two-second reply wait; these run alone, not beside the rest of the suite.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "tests/upgrade/sim_session.h"

namespace {

using Strings = std::vector<std::string>;
constexpr const char* kSuccess = "Successfully upgraded the firmware!";

// The loader stage handed to lrzsz's rx, with the simulator relaying.
// rx acknowledges EOT only after a full second of quiet line, while the
// sender waits 799 polls (about 0.85 s) per EOT, so the first EOT goes
// unanswered and is repeated, each repeat restarting rx's wait. The sender
// keeps its counts as they are; the relay holds a repeated EOT back while
// one is still unanswered, and rx's late ACK lands in a later EOT's window.
class UpgradeRx : public ::testing::TestWithParam<const char*> { };

TEST_P(UpgradeRx, OutsideReceiverGetsTheImage)
{
    if (access("/usr/bin/rx", X_OK) != 0)
        GTEST_SKIP() << "lrzsz is not installed";
    SimSession s({"--loader-cmd", std::string(GetParam()) + " -q relayed.bin"});
    ASSERT_TRUE(s.sim.started()) << s.sim.error();
    ASSERT_TRUE(s.Discover());

    s.Upgrade(s.MakeImage(524288));

    EXPECT_EQ(s.messages.texts, Strings{kSuccess}) << s.sim.events();
    EXPECT_EQ(s.sim.wait_for_event("loader-cmd-exit"), "loader-cmd-exit exit 0") << s.sim.events();
    EXPECT_TRUE(simtest::ReadWholeFile(s.sim.path("relayed.bin")) == s.image);
}

INSTANTIATE_TEST_SUITE_P(
    Lrzsz, UpgradeRx, ::testing::Values("rx -c", "rx"), [](const ::testing::TestParamInfo<const char*>& info) {
        return std::string(info.index == 0 ? "Crc" : "Checksum");
    });

} // namespace
