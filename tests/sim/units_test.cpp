// Pieces of the simulator that can be checked without a line.
#include <gtest/gtest.h>

#include "sim/crc.h"
#include "sim/line.h"
#include "sim/options.h"

TEST(SimUnits, CheckValues) {
  const std::uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(sim::crc16(text, sizeof text), 0x31C3);
  EXPECT_EQ(sim::checksum8(text, sizeof text), (0x31 + 0x32 + 0x33 + 0x34 + 0x35 + 0x36 + 0x37 + 0x38 + 0x39) & 0xFF);
}

TEST(SimUnits, Escapes) {
  EXPECT_EQ(sim::unescape("\\r\\nCOUNTRY SET OK\\r\\n"), "\r\nCOUNTRY SET OK\r\n");
  EXPECT_EQ(sim::unescape("a\\\\b\\x41\\t"), "a\\bA\t");
  EXPECT_EQ(sim::unescape("trailing\\"), std::nullopt);
  EXPECT_EQ(sim::unescape("\\x4"), std::nullopt);
  EXPECT_EQ(sim::unescape("\\xZZ"), std::nullopt);
  EXPECT_EQ(sim::unescape("\\q"), std::nullopt);
}

TEST(SimUnits, ArgumentsAreParsedOrRejected) {
  auto good = sim::parse_args({"--start=ff", "--hangup-at", "packet:3", "--image-out", "/tmp/x/img.bin",
                               "--noise", "0.25", "--ati5", "Country\\r\\n22"});
  ASSERT_EQ(good.error, "");
  EXPECT_EQ(good.options.start_char, 0xFF);
  EXPECT_EQ(good.options.hangup_stage, sim::HangupStage::Packet);
  EXPECT_EQ(good.options.hangup_packet, 3);
  EXPECT_EQ(good.options.loader_dir, "/tmp/x") << "the outside receiver writes beside the image";
  EXPECT_DOUBLE_EQ(good.options.noise, 0.25);
  EXPECT_EQ(good.options.ati5_reply, "Country\r\n22");

  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--country", "22x"}, {"--country"}, {"--nak-packet", "0"},
        {"--noise", "1.5"}, {"--noise", "nan"}, {"--noise", "-nan"}, {"--noise", "inf"}, {"--start", "C"}, {"--hangup-at", "packet:"}, {"--silent=1"},
        {"--bogus"}, {"stray"}, {"--line-rate", "-1"}}) {
    EXPECT_NE(sim::parse_args(bad).error, "") << bad[0] << " " << bad.back();
  }
  EXPECT_EQ(sim::parse_args({"--noise", "nan"}).error, "bad value 'nan' for --noise");
}

TEST(SimUnits, BurstAfterAnIdleLineTakesItsFullTime) {
  using std::chrono::nanoseconds;
  const auto span = [](std::uint64_t bytes) { return nanoseconds(bytes * 10'000'000'000ULL / 115200); };
  sim::Pacer pacer(115200);
  const sim::TimePoint first = pacer.book(10);
  while (sim::Clock::now() <= first) {
  }  // the line falls idle
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
