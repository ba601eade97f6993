// Pieces of the simulator that can be checked without a line.
#include <gtest/gtest.h>

#include "sim/crc.h"
#include "sim/line.h"
#include "sim/options.h"

TEST(SimUnits, CheckValues)
{
    const std::uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(sim::crc16(text, sizeof text), 0x31C3);
    EXPECT_EQ(sim::checksum8(text, sizeof text), (0x31 + 0x32 + 0x33 + 0x34 + 0x35 + 0x36 + 0x37 + 0x38 + 0x39) & 0xFF);
}

TEST(SimUnits, Escapes)
{
    EXPECT_EQ(sim::unescape("\\r\\nCOUNTRY SET OK\\r\\n"), "\r\nCOUNTRY SET OK\r\n");
    EXPECT_EQ(sim::unescape("a\\\\b\\x41\\t"), "a\\bA\t");
    EXPECT_EQ(sim::unescape("trailing\\"), std::nullopt);
    EXPECT_EQ(sim::unescape("\\x4"), std::nullopt);
    EXPECT_EQ(sim::unescape("\\xZZ"), std::nullopt);
    EXPECT_EQ(sim::unescape("\\q"), std::nullopt);
}

TEST(SimUnits, ArgumentsAreParsedOrRejected)
{
    auto good = sim::parse_args({"--start=ff", "--hangup-at", "packet:3", "--image-out", "/tmp/x/img.bin", "--noise",
        "0.25", "--ati5", "Country\\r\\n22"});
    ASSERT_EQ(good.error, "");
    EXPECT_EQ(good.options.start_char, 0xFF);
    EXPECT_EQ(good.options.hangup_stage, sim::HangupStage::Packet);
    EXPECT_EQ(good.options.hangup_packet, 3);
    EXPECT_EQ(good.options.loader_dir, "/tmp/x") << "the outside receiver writes beside the image";
    EXPECT_DOUBLE_EQ(good.options.noise, 0.25);
    EXPECT_EQ(good.options.ati5_reply, "Country\r\n22");

    for (const std::vector<std::string>& bad :
        {std::vector<std::string>{"--country", "22x"}, {"--country"}, {"--nak-packet", "0"}, {"--noise", "1.5"},
            {"--noise", "nan"}, {"--noise", "-nan"}, {"--noise", "inf"}, {"--start", "C"}, {"--hangup-at", "packet:"},
            {"--silent=1"}, {"--bogus"}, {"stray"}, {"--line-rate", "-1"}}) {
        EXPECT_NE(sim::parse_args(bad).error, "") << bad[0] << " " << bad.back();
    }
    EXPECT_EQ(sim::parse_args({"--noise", "nan"}).error, "bad value 'nan' for --noise");
}

TEST(SimUnits, BurstAfterAnIdleLineTakesItsFullTime)
{
    using std::chrono::nanoseconds;
    const auto span = [](std::uint64_t bytes) { return nanoseconds(bytes * 10'000'000'000ULL / 115200); };
    sim::Pacer pacer(115200);
    const sim::TimePoint first = pacer.book(10);
    while (sim::Clock::now() <= first) { } // the line falls idle
    // Bytes that had to be waited for cross from when they came, however
    // short the idle spell was: a late sender is not let off.
    const sim::TimePoint came = sim::Clock::now();
    const sim::TimePoint fresh = pacer.book(10, true);
    EXPECT_GE(fresh - came, span(10));
    // Bytes found queued join the burst in progress.
    const sim::TimePoint joined = pacer.book(10);
    EXPECT_LE(joined - fresh, span(10) + nanoseconds(1));
    EXPECT_GE(joined - fresh, span(10) - nanoseconds(1));
}

TEST(SimUnits, AdapterHoldsBytesUntilAPacketGathersOrItsTimerRunsOut)
{
    using sim::Millis;
    const sim::TimePoint t0{};
    struct Step {
        const char* what;
        std::size_t count;
        int at_ms;
        int goes_ms;
    };
    const Step steps[] = {
        {"a lone byte waits for the timer", 1, 5, 16},
        {"the timer restarted when it sent", 1, 20, 32},
        {"a byte while one is held goes with it", 1, 25, 32},
        {"a full packet goes at once", 62, 40, 40},
        {"and restarts the timer", 1, 41, 56},
        {"an idle spell: the timer kept running from its last send", 1, 1000, 1016},
        {"a packet and more: the rest waits a whole latency", 70, 2000, 2016},
        {"at the very expiry a byte waits for the next", 1, 2032, 2048},
    };
    sim::AdapterHold hold(Millis(16), t0);
    for (const Step& s : steps)
        EXPECT_EQ(hold.pass(s.count, t0 + Millis(s.at_ms)), t0 + Millis(s.goes_ms)) << s.what;

    sim::AdapterHold none(Millis(0), t0);
    EXPECT_FALSE(none.enabled());
    EXPECT_EQ(none.pass(1, t0 + Millis(5)), t0 + Millis(5));
    EXPECT_EQ(sim::parse_args({"--reply-latency", "16"}).options.reply_latency_ms, 16);
    EXPECT_NE(sim::parse_args({"--reply-latency", "256"}).error, "");
}
