// The built-in download loader driven by a tiny hand-written sender.
#include <gtest/gtest.h>

#include "sim/crc.h"
#include "sim/loader.h"
#include "tests/support/pty.h"
#include "testing/sim_process.h"

using simtest::PtyClient;
using simtest::SimProcess;
using namespace std::chrono_literals;
using namespace sim::ctl;

namespace {

const std::string kAck(1, ACK), kNak(1, NAK), kCan(1, CAN);

std::string pattern(std::size_t size, int seed)
{
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return data;
}

// One packet: SOH for 128 data bytes, STX for 1024; CRC-16 or checksum.
std::string packet(int number, const std::string& data, bool crc = true)
{
    std::string p;
    p += static_cast<char>(data.size() == 128 ? SOH : STX);
    p += static_cast<char>(number & 0xFF);
    p += static_cast<char>(255 - (number & 0xFF));
    p += data;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
    if (crc) {
        const std::uint16_t c = sim::crc16(bytes, data.size());
        p += static_cast<char>(c >> 8);
        p += static_cast<char>(c & 0xFF);
    } else {
        p += static_cast<char>(sim::checksum8(bytes, data.size()));
    }
    return p;
}

// Echo off, then AT~D1 as the product sends it; returns what the loader sent first.
std::string enter_loader(PtyClient& port)
{
    port.send("ATE0\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "ATE0\r\r\nOK\r\n");
    port.send("AT~D1\r\n");
    return port.read_n(1);
}

// Sends `bytes` and returns the single-byte reply.
std::string transact(PtyClient& port, const std::string& bytes)
{
    port.send(bytes);
    return port.read_n(1);
}

} // namespace

TEST(SimLoader, StoresGoodPacketsOnceAndNaksBadOnes)
{
    SimProcess sim;
    ASSERT_TRUE(sim.started()) << sim.error();
    PtyClient port(sim.link());
    ASSERT_EQ(enter_loader(port), "C");

    const std::string one = pattern(128, 1), two = pattern(1024, 2);
    port.send("zz"); // stray bytes before the first packet must not draw a reply
    EXPECT_EQ(transact(port, packet(1, one)), kAck);
    EXPECT_EQ(transact(port, packet(1, one)), kAck) << "a repeat is acknowledged";
    std::string broken = packet(2, two);
    broken[500] ^= 0x10;
    EXPECT_EQ(transact(port, broken), kNak);
    std::string bad_complement = packet(2, two);
    bad_complement[2] = 0;
    EXPECT_EQ(transact(port, bad_complement), kNak);
    EXPECT_EQ(transact(port, packet(2, two)), kAck);
    EXPECT_EQ(simtest::ReadWholeFile(sim.image_path()), "") << "nothing written before EOT";
    EXPECT_EQ(transact(port, std::string(1, EOT)), kAck);

    EXPECT_NE(sim.wait_for_event("image-written"), "");
    EXPECT_EQ(simtest::ReadWholeFile(sim.image_path()), one + two);
    port.send("AT\r");
    EXPECT_EQ(port.read_until("OK\r\n"), "\r\nOK\r\n") << "back in command mode, echo still off";
    EXPECT_EQ(port.read_for(50ms), "");
    EXPECT_EQ(sim.stop(), 0) << sim.diagnostics();
}

TEST(SimLoader, ChecksumModeAndShortPacket)
{
    SimProcess sim({"--start", "nak"});
    ASSERT_TRUE(sim.started()) << sim.error();
    PtyClient port(sim.link());
    ASSERT_EQ(enter_loader(port), kNak);
    const std::string data = pattern(128, 9);
    EXPECT_EQ(transact(port, packet(1, data, false).substr(0, 40)), kNak) << "cut short: NAK after the byte timeout";
    EXPECT_EQ(transact(port, packet(1, data, false)), kAck);
    EXPECT_EQ(transact(port, std::string(1, EOT)), kAck);
    EXPECT_NE(sim.wait_for_event("image-written"), "");
    EXPECT_EQ(simtest::ReadWholeFile(sim.image_path()), data);
}

TEST(SimLoader, StartCharacterTimingAndStrays)
{
    SimProcess once({"--stray-before-start", "3", "--stray-interval", "0"});
    SimProcess repeating({"--start", "ff", "--start-repeat"});
    ASSERT_TRUE(once.started() && repeating.started()) << once.error() << repeating.error();
    PtyClient a(once.link()), b(repeating.link());
    EXPECT_EQ(enter_loader(b), "\xff");
    EXPECT_EQ(b.read_for(300ms), "") << "the LF after AT~D1 was swallowed";
    EXPECT_EQ(b.read_n(1), "\xff") << "repeated after a quiet second";
    EXPECT_EQ(enter_loader(a), "x");
    EXPECT_EQ(a.read_n(3), "xxC");
    EXPECT_EQ(a.read_for(1500ms), "") << "one start character by default";
}

TEST(SimLoader, InjectedReplies)
{
    SimProcess naks({"--nak-packet", "2", "--nak-count", "2", "--garbage-packet", "3"});
    SimProcess cancel({"--can-packet", "1"});
    ASSERT_TRUE(naks.started() && cancel.started()) << naks.error() << cancel.error();

    PtyClient port(naks.link());
    ASSERT_EQ(enter_loader(port), "C");
    std::vector<std::string> data = {pattern(128, 1), pattern(128, 2), pattern(128, 3)};
    EXPECT_EQ(transact(port, packet(1, data[0])), kAck);
    EXPECT_EQ(transact(port, packet(2, data[1])), kNak);
    EXPECT_EQ(transact(port, packet(2, data[1])), kNak);
    EXPECT_EQ(transact(port, packet(2, data[1])), kAck);
    EXPECT_EQ(transact(port, packet(3, data[2])), "?");
    EXPECT_EQ(transact(port, packet(3, data[2])), kAck);
    EXPECT_EQ(transact(port, std::string(1, EOT)), kAck);
    EXPECT_NE(naks.wait_for_event("image-written"), "");
    EXPECT_EQ(simtest::ReadWholeFile(naks.image_path()), data[0] + data[1] + data[2]);

    PtyClient other(cancel.link());
    ASSERT_EQ(enter_loader(other), "C");
    EXPECT_EQ(transact(other, packet(1, data[0])), kCan);
    other.send("AT\r");
    EXPECT_EQ(other.read_until("OK\r\n"), "\r\nOK\r\n");
    EXPECT_EQ(simtest::ReadWholeFile(cancel.image_path()), "");
    EXPECT_EQ(naks.stop(), 0) << naks.diagnostics();
    EXPECT_EQ(cancel.stop(), 0) << cancel.diagnostics();
}

TEST(SimLoader, HangupClosesTheLineAndTheSimulator)
{
    SimProcess sim({"--hangup-at", "packet:2"});
    ASSERT_TRUE(sim.started()) << sim.error();
    PtyClient port(sim.link());
    ASSERT_EQ(enter_loader(port), "C");
    EXPECT_EQ(transact(port, packet(1, pattern(128, 1))), kAck);
    port.send(packet(2, pattern(128, 2)));
    EXPECT_EQ(port.read_for(PtyClient::kReplyLimit), "");
    EXPECT_TRUE(port.hung_up());
    EXPECT_TRUE(sim.wait_exit(PtyClient::kReplyLimit));
    EXPECT_EQ(sim.stop(), 0) << sim.diagnostics();
    EXPECT_NE(sim.events().find("hangup packet:2\n"), std::string::npos) << sim.events();
}
