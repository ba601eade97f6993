// The loader against standard lrzsz programs: sx as the sender, and rx behind
// the --loader-cmd relay.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "tests/support/pty.h"
#include "testing/sim_process.h"

using simtest::PtyClient;
using simtest::SimProcess;
using namespace std::chrono_literals;

namespace {

bool have_lrzsz()
{
    return access("/usr/bin/sx", X_OK) == 0 && access("/usr/bin/rx", X_OK) == 0;
}

std::string random_image(std::size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string data(size, '\0');
    for (auto& c : data)
        c = static_cast<char>(rng() & 0xFF);
    return data;
}

void write_file(const std::string& path, const std::string& data)
{
    std::ofstream(path, std::ios::binary) << data;
}

// Puts the modem into its loader and runs `sx -k FILE` on the port. Returns
// sx's wait status, or -1 if it had to be killed after `timeout`.
int send_with_sx(SimProcess& sim, const std::string& image_file, std::chrono::seconds timeout)
{
    PtyClient port(sim.link());
    port.send("ATE0\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "ATE0\r\r\nOK\r\n");
    port.send("AT~D1\r\n");

    const int fd = ::open(sim.link().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); // blocking, for sx
    if (fd < 0)
        return -1;
    sim::SpawnSetup setup;
    setup.fds = {fd, fd, -1};
    setup.files[2] = sim.path("sx.err");
    simtest::ChildProcess sx;
    const bool started = sx.Start({"sx", "-k", "-q", image_file}, setup);
    ::close(fd);
    if (!started)
        return -1;
    if (!sx.WaitExit(timeout)) {
        sx.Stop(0ms);
        return -1;
    }
    return sx.Status();
}

} // namespace

class SimWithSx : public ::testing::TestWithParam<std::vector<std::string>> { };

TEST_P(SimWithSx, ReceivesTheImageByteForByte)
{
    if (!have_lrzsz())
        GTEST_SKIP() << "lrzsz is not installed";
    SimProcess sim(GetParam());
    ASSERT_TRUE(sim.started()) << sim.error();
    const bool noisy = GetParam().size() > 2;
    const std::string image = random_image(noisy ? 64 * 1024 : 512 * 1024, 42);
    write_file(sim.path("source.bin"), image);

    EXPECT_EQ(send_with_sx(sim, sim.path("source.bin"), 60s), 0) << simtest::ReadWholeFile(sim.path("sx.err"));
    EXPECT_NE(sim.wait_for_event("image-written"), "") << sim.events();
    EXPECT_TRUE(simtest::ReadWholeFile(sim.image_path()) == image) << "image differs";
    if (noisy) {
        const std::string stats = sim.wait_for_event("loader-stats");
        EXPECT_EQ(stats.find(" rejected=0 "), std::string::npos) << "the noise never hit: " << stats;
    }
    EXPECT_EQ(sim.stop(), 0) << sim.diagnostics();
}

INSTANTIATE_TEST_SUITE_P(Modes, SimWithSx,
    ::testing::Values(std::vector<std::string>{"--start", "c"}, std::vector<std::string>{"--start", "nak"},
        std::vector<std::string>{"--noise", "0.0002", "--seed", "7"}));

TEST(SimRelay, RxBehindTheRelayGetsTheImageThenCommandModeReturns)
{
    if (!have_lrzsz())
        GTEST_SKIP() << "lrzsz is not installed";
    SimProcess sim({"--loader-cmd", "rx -c -q relayed.bin"});
    ASSERT_TRUE(sim.started()) << sim.error();
    const std::string image = random_image(512 * 1024, 7);
    write_file(sim.path("source.bin"), image);

    EXPECT_EQ(send_with_sx(sim, sim.path("source.bin"), 60s), 0) << simtest::ReadWholeFile(sim.path("sx.err"));
    EXPECT_EQ(sim.wait_for_event("loader-cmd-exit"), "loader-cmd-exit exit 0") << sim.events();
    EXPECT_TRUE(simtest::ReadWholeFile(sim.path("relayed.bin")) == image) << "image differs";

    PtyClient port(sim.link());
    port.send("AT*NC22&F\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\nOK\r\n");
    EXPECT_EQ(sim.stop(), 0) << sim.diagnostics();
}

// A receiver that gives up on a frame and answers in its middle (a slow
// line): the rest of that frame is still on its way, and its 0x04 data
// bytes must neither be held back as repeated EOTs nor make the next ACK
// look like the answer to an end of transmission.
TEST(SimRelay, AReplyInTheMiddleOfAFrameDoesNotEndTheTransfer)
{
    const std::string receiver =
        "printf '\\025'; dd bs=1 count=10 of=/dev/null 2>/dev/null; printf '\\025';"
        " dd bs=1 count=1018 of=/dev/null 2>/dev/null; dd bs=1 count=1028 of=frame.bin 2>/dev/null;"
        " printf '\\006'; dd bs=1 count=1 of=/dev/null 2>/dev/null; printf '\\006'";
    SimProcess sim({"--loader-cmd", receiver});
    ASSERT_TRUE(sim.started()) << sim.error();
    std::string frame = "\x02\x01\xFE";
    for (int i = 0; i < 512; ++i)
        frame += "\x04"
                 "A";
    frame += '\0'; // the data's checksum

    PtyClient port(sim.link());
    port.send("ATE0\r");
    ASSERT_EQ(port.read_until("OK\r\n"), "ATE0\r\r\nOK\r\n");
    port.send("AT~D1\r\n");
    ASSERT_EQ(port.read_n(1), "\x15") << sim.events();
    port.send(frame.substr(0, 10));
    ASSERT_EQ(port.read_n(1), "\x15") << sim.events();
    port.send(frame.substr(10));
    port.send(frame);
    ASSERT_EQ(port.read_n(1), "\x06") << sim.events();
    EXPECT_EQ(sim.events().find("loader-cmd-eot-acked"), std::string::npos) << sim.events();

    port.send("\x04");
    EXPECT_EQ(port.read_n(1), "\x06") << sim.events();
    EXPECT_NE(sim.wait_for_event("loader-cmd-eot-acked"), "") << sim.events();
    EXPECT_TRUE(simtest::ReadWholeFile(sim.path("frame.bin")) == frame) << "the frame arrived changed";
}
