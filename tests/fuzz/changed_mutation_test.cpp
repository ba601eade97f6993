// A mutation that gives the input back unchanged is tried again, a few
// times at most.
#include <gtest/gtest.h>

#include <vector>

#include "tests/fuzz/changed_mutation.h"

namespace {

// A scripted mutation: its first `unchanged` calls leave the input as it
// is, the next one flips its first byte and appends one.
int g_calls = 0;
int g_unchanged = 0;

size_t Scripted(uint8_t* data, size_t size, size_t maxSize)
{
    if (++g_calls <= g_unchanged || size == 0 || size >= maxSize)
        return size;
    data[0] ^= 0xFF;
    data[size] = 0x42;
    return size + 1;
}

TEST(ChangedMutation, TriesAgainUntilTheInputChangesOrTheTriesRunOut)
{
    struct Case {
        int unchanged;
        int calls;
        bool changed;
    };
    for (const Case c : {Case{0, 1, true}, Case{3, 4, true}, Case{fuzz::kMutationTries - 1, fuzz::kMutationTries, true},
             Case{fuzz::kMutationTries, fuzz::kMutationTries, false}}) {
        SCOPED_TRACE(c.unchanged);
        g_calls = 0;
        g_unchanged = c.unchanged;
        std::vector<uint8_t> data = {1, 2, 3, 0};
        const size_t got = fuzz::MutateChanged(data.data(), 3, data.size(), Scripted);
        EXPECT_EQ(g_calls, c.calls);
        const std::vector<uint8_t> expect =
            c.changed ? std::vector<uint8_t>{0xFE, 2, 3, 0x42} : std::vector<uint8_t>{1, 2, 3, 0};
        EXPECT_EQ(got, c.changed ? 4u : 3u);
        EXPECT_EQ(data, expect);
    }
}

} // namespace
