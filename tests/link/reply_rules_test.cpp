#include <gtest/gtest.h>

#include "link/ComPort.h"

namespace {

struct ReplyCase {
    const char* name;
    std::string raw;
    std::string stripped;
    int okPos;
    std::string before;
};

class ReplyRules : public ::testing::TestWithParam<ReplyCase> { };

TEST_P(ReplyRules, StripThenSplitAtOk)
{
    const ReplyCase& c = GetParam();
    std::string stripped = StripLineBreaks(c.raw);
    EXPECT_EQ(stripped, c.stripped);
    std::string before = "untouched?";
    EXPECT_EQ(ReplyBeforeOk(stripped, before), c.okPos);
    if (c.okPos >= 0) {
        EXPECT_EQ(before, c.before);
    }
}

const std::string kLong(1000, 'x');

INSTANTIATE_TEST_SUITE_P(Table, ReplyRules,
    ::testing::Values(ReplyCase{"modem_layout", "\r\n22\r\n\r\nOK\r\n", "22OK", 2, "22"},
        ReplyCase{"only_ok", "\r\nOK\r\n", "OK", 0, ""}, ReplyCase{"no_ok", "\r\nERROR\r\n", "ERROR", -1, ""},
        ReplyCase{"empty", "", "", -1, ""}, ReplyCase{"breaks_everywhere", "\n2\r2\n\rO\r\nK\n", "22OK", 2, "22"},
        ReplyCase{"ok_is_case_sensitive", "22ok", "22ok", -1, ""},
        ReplyCase{"first_ok_wins", "BOOKOK", "BOOKOK", 2, "BO"},
        ReplyCase{"text_before_ok", "\r\nCountry 22\r\nOK\r\n", "Country 22OK", 10, "Country 22"},
        ReplyCase{"long_reply_kept_whole", "\r\n" + kLong + "\r\nOK\r\n", kLong + "OK", 1000, kLong},
        ReplyCase{"only_breaks", std::string(300, '\n'), "", -1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReplyRules, LongReplyWithoutBreaksIsNotCut)
{
    std::string reply(5000, 'A');
    reply[2500] = '\r';
    EXPECT_EQ(StripLineBreaks(reply).size(), 4999u);
}

} // namespace
