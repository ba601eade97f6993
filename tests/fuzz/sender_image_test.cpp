// The sender fuzz target's image: which sizes the input's size field
// picks, and the in-memory file the sender reads them from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "tests/fuzz/sender_image.h"
#include "upgrade/Image.h"
#include "upgrade/Packet.h"

namespace {

size_t SizeFor(uint16_t field, std::vector<uint8_t> rest = {})
{
    std::vector<uint8_t> script = {0, static_cast<uint8_t>(field >> 8), static_cast<uint8_t>(field)};
    script.insert(script.end(), rest.begin(), rest.end());
    return fuzz::ImageSizeFor(script);
}

// Every field gives a short image unless the full one is asked for and
// granted; in 128-byte mode every count from 0 to 40 packets is reached,
// in 1K mode 1024- and 128-byte packets side by side; the fields of the
// checked-in inputs keep their sizes.
TEST(SenderImage, SizeFieldWalksThePacketPlan)
{
    std::set<int64_t> counts128;
    int64_t most1K = 0;
    bool mixed = false;
    for (uint32_t field = 0; field <= 0xFFFF; ++field) {
        const auto size = static_cast<int64_t>(SizeFor(static_cast<uint16_t>(field), {1}));
        ASSERT_LE(size, int64_t{fuzz::kMaxShortImage}) << "field " << field;
        counts128.insert(PlanPackets(size, false).total);
        const PacketPlan plan1K = PlanPackets(size, true);
        most1K = std::max(most1K, plan1K.fullPackets);
        mixed = mixed || (plan1K.fullPackets > 0 && plan1K.total > plan1K.fullPackets);
    }
    EXPECT_EQ(counts128.size(), 41u);
    EXPECT_EQ(*counts128.rbegin(), 40);
    EXPECT_EQ(most1K, 5);
    EXPECT_TRUE(mixed);
    for (uint16_t field : {0, 10, 300, 1030, 2148, 3072})
        EXPECT_EQ(SizeFor(field), field);
    EXPECT_EQ(fuzz::ImageSizeFor(std::vector<uint8_t>{1, 2}), 0u);
}

// About one in kFullSizeOneIn of the scripts that ask for the full image
// get it, the others a short one.
TEST(SenderImage, FullImageForASmallShare)
{
    unsigned full = 0;
    for (unsigned last = 0; last < 0x10000; ++last) {
        const size_t size =
            SizeFor(fuzz::kFullSizeField, {static_cast<uint8_t>(last >> 8), static_cast<uint8_t>(last)});
        EXPECT_TRUE(size == size_t(kImageSize) || size <= fuzz::kMaxShortImage);
        full += size == size_t(kImageSize);
    }
    EXPECT_GE(full, 0x10000 / fuzz::kFullSizeOneIn / 2);
    EXPECT_LE(full, 0x10000 / fuzz::kFullSizeOneIn * 2);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

// The file measures what it holds and reads it back from any position,
// the empty one included.
TEST(SenderImage, InMemoryFileMeasuresAndReads)
{
    for (size_t size : {size_t{0}, size_t{1}, size_t{1029}, size_t(kImageSize)}) {
        const std::span<const uint8_t> bytes = fuzz::ImageBytes(size);
        ASSERT_EQ(bytes.size(), size);
        std::unique_ptr<FILE, FileCloser> file(fuzz::OpenInMemory(bytes));
        ASSERT_TRUE(file);
        EXPECT_EQ(ImageFileSize(file.get()), static_cast<int64_t>(size));
        std::vector<uint8_t> back(size + 10);
        EXPECT_EQ(std::fread(back.data(), 1, back.size(), file.get()), size);
        back.resize(size);
        EXPECT_TRUE(std::equal(back.begin(), back.end(), bytes.begin()));
        if (size > 1) {
            ASSERT_EQ(std::fseek(file.get(), -1, SEEK_END), 0);
            EXPECT_EQ(std::fgetc(file.get()), bytes.back());
        }
        EXPECT_NE(std::fseek(file.get(), -1, SEEK_SET), 0);
    }
}

} // namespace
