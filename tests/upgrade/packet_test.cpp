// The pure pieces of the block transfer: CRC, packet layout, packet plan
// and the percentage display.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "upgrade/Crc16.h"
#include "upgrade/Packet.h"

namespace {

std::vector<uint8_t> Bytes(const char* text)
{
    return std::vector<uint8_t>(text, text + std::strlen(text));
}

TEST(Crc16, MatchesTheStandardCheckValueAndTable)
{
    auto check = Bytes("123456789");
    EXPECT_EQ(Crc16(check.data(), check.size()), 0x31C3);
    EXPECT_EQ(Crc16(nullptr, 0), 0);
    EXPECT_EQ(g_crc16Table[0], 0x0000);
    EXPECT_EQ(g_crc16Table[1], 0x1021);
    EXPECT_EQ(g_crc16Table[2], 0x2042);
    EXPECT_EQ(g_crc16Table[255], 0x1EF0);
    // Byte-wise update agrees with a bit-by-bit computation.
    for (unsigned b : {0x00u, 0x01u, 0x80u, 0xFFu}) {
        uint16_t seed = 0xBEEF;
        unsigned crc = seed ^ (b << 8);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        EXPECT_EQ(Crc16Update(static_cast<uint8_t>(b), seed), static_cast<uint16_t>(crc)) << b;
    }
}

struct FrameCase {
    int number;
    int size;
    uint8_t checkMode;
    uint8_t header, numberByte, complement;
    size_t checkBytes;
};

TEST(FramePacket, HeaderNumberAndCheckBytes)
{
    const FrameCase cases[] = {
        {1, 1024, kStartC, kSTX, 1, 254, 2},
        {1, 128, kNAK, kSOH, 1, 254, 1},
        {255, 128, kStartFF, kSOH, 255, 0, 2},
        {256, 1024, kNAK, kSTX, 0, 255, 1},
        {257, 1024, kStartC, kSTX, 1, 254, 2},
        {512, 1024, kStartC, kSTX, 0, 255, 2},
    };
    std::vector<uint8_t> data(1024);
    std::iota(data.begin(), data.end(), uint8_t{7});
    for (const FrameCase& c : cases) {
        SCOPED_TRACE(c.number);
        auto frame = FramePacket(c.number, c.size, data.data(), c.checkMode);
        ASSERT_EQ(frame.size(), 3 + c.size + c.checkBytes);
        EXPECT_EQ(frame[0], c.header);
        EXPECT_EQ(frame[1], c.numberByte);
        EXPECT_EQ(frame[2], c.complement);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + c.size, frame.begin() + 3));
    }
}

TEST(FramePacket, ChecksumIsLowByteOfSumAndCrcIsHighByteFirst)
{
    std::vector<uint8_t> data(128, 0xFF); // sum 0x7F80
    auto sum = FramePacket(1, 128, data.data(), kNAK);
    EXPECT_EQ(sum.back(), 0x80);

    std::vector<uint8_t> check(128, kPad);
    std::memcpy(check.data(), "123456789", 9);
    uint16_t crc = Crc16(check.data(), check.size());
    for (uint8_t mode : {kStartC, kStartFF}) {
        auto frame = FramePacket(3, 128, check.data(), mode);
        EXPECT_EQ(frame[frame.size() - 2], crc >> 8);
        EXPECT_EQ(frame[frame.size() - 1], crc & 0xFF);
    }
}

struct PlanCase {
    int64_t size;
    bool use1K;
    int64_t full, total;
    int lastSize;
};

TEST(PlanPackets, CutsFilesIntoFullThenSmallPackets)
{
    const PlanCase cases[] = {
        {524288, true, 512, 512, 1024},
        {524288, false, 0, 4096, 128},
        {524287, true, 511, 519, 128}, // 1023 bytes left: 7 small + 1 padded
        {524289, true, 512, 513, 128},
        {1024, true, 1, 1, 1024},
        {1100, true, 1, 2, 128},
        {1152, true, 1, 2, 128},
        {1224, true, 1, 3, 128},
        {1, true, 0, 1, 128},
        {128, false, 0, 1, 128},
        {129, false, 0, 2, 128},
        {0, true, 0, 0, 0},
        {-5, true, 0, 0, 0},
    };
    for (const PlanCase& c : cases) {
        SCOPED_TRACE(c.size);
        PacketPlan plan = PlanPackets(c.size, c.use1K);
        EXPECT_EQ(plan.fullPackets, c.full);
        EXPECT_EQ(plan.total, c.total);
        if (c.total > 0) {
            EXPECT_EQ(plan.SizeOf(c.total), c.lastSize);
            // Every byte fits and no packet is wholly padding.
            int64_t capacity = c.full * 1024 + (c.total - c.full) * 128;
            EXPECT_GE(capacity, c.size);
            EXPECT_LT(capacity - plan.SizeOf(c.total), c.size);
        }
    }
}

TEST(ProgressAt, FiveHundredTwelvePacketsStepTwentyTimes)
{
    std::vector<int64_t> shownAt;
    std::vector<int> percents;
    int steps = 0;
    for (int64_t i = 1; i <= 512; ++i) {
        ProgressUpdate u = ProgressAt(i, 512);
        if (!u.show)
            continue;
        shownAt.push_back(i);
        percents.push_back(u.percent);
        EXPECT_EQ(u.barSteps, steps + 1) << i; // one step per update
        steps = u.barSteps;
    }
    std::vector<int64_t> wantAt{1};
    std::vector<int> want{5};
    for (int k = 1; k <= 19; ++k) {
        wantAt.push_back(26 * k);
        want.push_back(5 * (k + 1));
    }
    EXPECT_EQ(shownAt, wantAt);
    EXPECT_EQ(percents, want);
    EXPECT_EQ(steps, 20);
}

TEST(ProgressAt, SmallFilesNeverDivideByZeroOrPassHundred)
{
    for (int64_t n : {1, 2, 18, 19, 20, 37, 38, 100}) {
        SCOPED_TRACE(n);
        int last = 0;
        for (int64_t i = 1; i <= n; ++i) {
            ProgressUpdate u = ProgressAt(i, n);
            if (!u.show)
                continue;
            EXPECT_LE(u.percent, 100);
            EXPECT_GE(u.percent, last);
            EXPECT_EQ(u.barSteps, u.percent / 5);
            last = u.percent;
        }
        EXPECT_GT(last, 0);
    }
    EXPECT_EQ(ProgressAt(1, 5).percent, 10); // D = 1: i / D = 1 already
    EXPECT_EQ(ProgressAt(5, 5).percent, 30);
}

TEST(StatusTexts, AreFormattedAsShown)
{
    EXPECT_EQ(WaitingCountText(59), "Waiting for Startup Packet... [59 sec]");
    EXPECT_EQ(PacketText(257), "P#257");
    EXPECT_EQ(PercentText(5), "(5%)");
    EXPECT_STREQ(kStatusUpgrading, "Flash Upgrading... (WARNING: DON'T INTERRUPT THE PROCESS!!!)");
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(IsStartChar(static_cast<uint8_t>(b)), b == 0x15 || b == 'C' || b == 0xFF) << b;
}

} // namespace
