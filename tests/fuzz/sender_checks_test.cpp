// The sender fuzz target's own parts: the scripted loader must drive the
// real sender through its outcomes, and the checks must pass a sound run
// and catch each kind of fault planted in one.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/fuzz/sender_checks.h"
#include "tests/fuzz/sender_image.h"
#include "tests/fuzz/sender_session.h"
#include "upgrade/Image.h"
#include "upgrade/Packet.h"
#include "upgrade/Transfer.h"

namespace {

using fuzz::Session;
using Bytes = std::vector<uint8_t>;

// One answer of the loader: `bytes` after the delay kAnswerDelays[delayIndex].
Bytes Answer(const Bytes& bytes, int delayIndex = 0)
{
    Bytes out = {static_cast<uint8_t>(bytes.size() | (delayIndex << 4))};
    for (uint8_t b : bytes)
        out.push_back(b);
    return out;
}

// One answer of `count` copies of `byte`, chained over as many headers as
// it takes.
Bytes LongAnswer(size_t count, uint8_t byte)
{
    Bytes out;
    for (;; count -= 15) {
        const size_t now = count < 15 ? count : 15;
        out.push_back(static_cast<uint8_t>(now));
        out.insert(out.end(), now, byte);
        if (now < 15)
            return out;
    }
}

Bytes Script(uint8_t flags, uint16_t imageSize, const std::vector<Bytes>& answers)
{
    Bytes out = {flags, static_cast<uint8_t>(imageSize >> 8), static_cast<uint8_t>(imageSize & 0xFF)};
    for (const Bytes& a : answers)
        for (uint8_t b : a)
            out.push_back(b);
    return out;
}

// A script for the full image: one answer more, never read, so that the
// script is one of those granted it.
Bytes FullImageScript(uint8_t flags, const std::vector<Bytes>& answers)
{
    Bytes out = Script(flags, fuzz::kFullSizeField, answers);
    out.insert(out.end(), {2, 0, 0});
    for (unsigned k = 0; k < 0x10000 && fuzz::ImageSizeFor(out) != size_t(kImageSize); ++k) {
        out[out.size() - 2] = static_cast<uint8_t>(k >> 8);
        out.back() = static_cast<uint8_t>(k);
    }
    return out;
}

Session RunScript(const Bytes& script)
{
    return fuzz::RunSender(script.data(), script.size());
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines)
        out += line + "\n";
    return out;
}

const Bytes kAck = {kACK}, kNak = {kNAK}, kC = {kStartC};

// ---- the real sender, driven by scripts --------------------------------------

struct RunCase {
    const char* name;
    Bytes script;
    int result;
    const char* message; // nullptr: none
    size_t units;
};

class SenderRun : public ::testing::TestWithParam<RunCase> { };

TEST_P(SenderRun, EndsAsScriptedAndPassesTheChecks)
{
    const RunCase& c = GetParam();
    const Session s = RunScript(c.script);
    ASSERT_EQ(s.setupError, "");
    EXPECT_EQ(s.result, c.result);
    EXPECT_EQ(s.messages, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    EXPECT_EQ(s.units.size(), c.units);
    EXPECT_EQ(Joined(fuzz::CheckSession(s)), "") << fuzz::Describe(s);
}

// 2148 bytes in 1K mode: two 1024-byte packets and one of 128 (padded).
INSTANTIATE_TEST_SUITE_P(Scripts, SenderRun,
    ::testing::Values(
        RunCase{"AllAckedCrc", Script(3, 2148, {Answer(kC), Answer(kAck), Answer(kAck), Answer(kAck), Answer(kAck)}), 1,
            nullptr, 4},
        RunCase{"NakThenAckChecksum",
            Script(2, 200, {Answer(kNak), Answer(kNak), Answer(kAck), Answer(kAck), Answer(kAck)}), 1, nullptr, 4},
        RunCase{"EmptyImageOnlyEot", Script(1, 0, {Answer({0xFF}), Answer(kAck)}), 1, nullptr, 1},
        RunCase{"StrayBytesBeforeStart",
            Script(0, 10, {Answer({'A', 'T', 'O', 'K', kStartC}), Answer(kAck), Answer(kAck)}), 1, nullptr, 2},
        RunCase{"ReplyOnTheLastPoll", Script(0, 10, {Answer(kC), Answer(kAck, 11), Answer(kAck, 8)}), 1, nullptr, 2},
        RunCase{"ReplyOnePollTooLate", Script(0, 10, {Answer(kC), Answer(kAck, 12)}), 0, kMsgPacketTimeout, 1},
        RunCase{"StartAfterAnEmptyAndAStrayAnswer",
            Script(0, 10, {Answer({}), Answer({'x'}), Answer(kC), Answer(kAck), Answer(kAck)}), 1, nullptr, 2},
        RunCase{"StartOnTheLastPoll", Script(0, 10, {Answer(kC, 13), Answer(kAck), Answer(kAck)}), 1, nullptr, 2},
        RunCase{"StartOnePollTooLate", Script(0, 10, {Answer(kC, 14)}), 0, kMsgStartTimeout, 0},
        RunCase{"NoScriptGivesUpAtStart", Script(0, 10, {}), 0, kMsgStartTimeout, 0},
        RunCase{"SecondStartTakenAsReply", Script(0, 10, {Answer({kStartC, kStartC})}), 0, kMsgUnknownReply, 1},
        RunCase{"Cancel", Script(0, 10, {Answer(kC), Answer({kCAN})}), 0, kMsgCanceled, 1},
        RunCase{"FifthNak",
            Script(0, 10, {Answer(kC), Answer(kNak), Answer(kNak), Answer(kNak), Answer(kNak), Answer(kNak)}), 0,
            kMsgErrorLimit, 5},
        RunCase{"EotLate", Script(0, 10, {Answer(kC), Answer(kAck), Answer(kAck, 9), Answer({})}), 1, nullptr, 3},
        RunCase{"EotNeverAcked", Script(0, 10, {Answer(kC), Answer(kAck)}), 0, kMsgEotTimeout, 11},
        RunCase{
            "FileChangedSinceTheCheck", Script(4, 10, {Answer(kC), Answer(kAck), Answer(kAck)}), 0, kMsgDiskRead, 0},
        RunCase{"LostAnswer", Script(0, 10, {Answer(kC), Answer(kAck, 15), Answer({})}), 0, kMsgPacketTimeout, 1},
        RunCase{"ScriptEndsMidTransfer", Script(1, 2148, {Answer(kC), Answer(kAck)}), 0, kMsgCanceled, 2},
        // The full image: 512 packets, numbers wrapping past 255, the bar full.
        RunCase{"FullImageAllAcked", FullImageScript(3, {Answer(kC), LongAnswer(513, kACK)}), 1, nullptr, 513}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- the checks catch planted faults ------------------------------------------

// A sound run to plant faults in: CRC mode, 1K image of three packets.
const Session& Sound()
{
    static const Session s =
        RunScript(Script(3, 2148, {Answer(kC), Answer(kAck), Answer(kAck), Answer(kAck), Answer(kAck)}));
    return s;
}

struct FaultCase {
    const char* name;
    std::function<void(Session&)> plant;
    const char* expected; // a piece of the problem reported
};

class PlantedFault : public ::testing::TestWithParam<FaultCase> { };

TEST_P(PlantedFault, IsReported)
{
    ASSERT_TRUE(fuzz::CheckSession(Sound()).empty());
    Session s = Sound();
    GetParam().plant(s);
    const std::string problems = Joined(fuzz::CheckSession(s));
    EXPECT_NE(problems.find(GetParam().expected), std::string::npos) << problems;
}

fuzz::Unit Nakked(const fuzz::Unit& u)
{
    fuzz::Unit copy = u;
    copy.reads = {kNAK};
    return copy;
}

INSTANTIATE_TEST_SUITE_P(Faults, PlantedFault,
    ::testing::Values(FaultCase{"WrongHeader", [](Session& s) { s.units[2].frame[0] = kSTX; }, "header byte 0"},
        FaultCase{"WrongNumber", [](Session& s) { s.units[1].frame[1] = 3; }, "number byte"},
        FaultCase{"WrongComplement", [](Session& s) { s.units[0].frame[2] = 0; }, "complement byte"},
        FaultCase{"WrongData", [](Session& s) { s.units[0].frame[500] ^= 1; }, "data byte 500"},
        FaultCase{"NoPadding", [](Session& s) { s.units[2].frame[3 + 120] = 0; }, "data byte 123"},
        FaultCase{"WrongCrcLow", [](Session& s) { s.units[0].frame.back() ^= 0x80; }, "check byte"},
        FaultCase{
            "SixSends", [](Session& s) { s.units.insert(s.units.begin(), 5, Nakked(s.units[0])); }, "sent 6 times"},
        FaultCase{"ResendChanged",
            [](Session& s) {
                s.units.insert(s.units.begin(), Nakked(s.units[0]));
                s.units[1].frame[3] ^= 1;
            },
            "data byte 3"},
        FaultCase{"PacketSkipped", [](Session& s) { s.units.erase(s.units.begin() + 1); },
            "frame of 133 bytes, expected 1029"},
        FaultCase{"EotTooEarly", [](Session& s) { s.units.erase(s.units.begin() + 2); }, "EOT after 2 of 3"},
        FaultCase{"SuccessWithoutEotAck", [](Session& s) { s.units.back().reads = {kNAK}; }, "returned 1 though"},
        FaultCase{"TwoBytesAsOneReply", [](Session& s) { s.units[0].reads.push_back(kACK); }, "2 bytes as one reply"},
        FaultCase{"GaveUpEarly",
            [](Session& s) {
                s.units.resize(1);
                s.units[0].reads.clear();
                s.units[0].polls = 1500;
                s.result = 0;
                s.messages = {kMsgPacketTimeout};
            },
            "awaited for 1500 polls"},
        FaultCase{"WentOnAfterCancel", [](Session& s) { s.units[0].reads = {kCAN}; }, "went on after"},
        FaultCase{"StoppedAfterAck",
            [](Session& s) {
                s.units.resize(1);
                s.result = 0;
                s.messages = {kMsgPacketTimeout};
            },
            "stopped after an ACK"},
        FaultCase{"WrongMessage",
            [](Session& s) {
                s.units.resize(1);
                s.units[0].reads = {kCAN};
                s.result = 0;
                s.messages = {kMsgUnknownReply};
            },
            "expected \"Transmission Aborted!\n\n*** Transfer canceled"},
        FaultCase{"MessageOnSuccess", [](Session& s) { s.messages = {"x"}; }, "1 messages on success"},
        FaultCase{"SilentFailure",
            [](Session& s) {
                s.units.resize(1);
                s.units[0].reads = {kCAN};
                s.result = 0;
            },
            "0 messages on failure"},
        FaultCase{
            "StartPassedOver", [](Session& s) { s.startReads.insert(s.startReads.begin(), kNAK); }, "passed over"},
        FaultCase{"WroteWithoutStart", [](Session& s) { s.startReads = {'x'}; }, "before reading a start"},
        FaultCase{"StrayWrite", [](Session& s) { s.strayWrites = {'A'}; }, "outside any frame"},
        FaultCase{"UnboundedPolling", [](Session& s) { s.totalPolls = 100000000; }, "polled 100000000 times"},
        FaultCase{"ChangedFileSent", [](Session& s) { s.sizeChanged = true; }, "a changed file"},
        FaultCase{"ProgressWrapped", [](Session& s) { s.progressPos = 0; }, "progress bar"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
