// The identity data file reader and the leading-number rule.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "identify/DataFile.h"
#include "identify/LeadingNumber.h"

namespace {

using namespace std::string_literals;

struct ReaderCase {
    const char* name;
    std::string file;
    std::vector<std::string> values; // every value, in order, before the end
};

// Reads every entry of `bytes` and checks the end stays the end.
std::vector<std::string> ReadAll(const std::string& bytes)
{
    std::FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    if (!file)
        return {};
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    std::vector<std::string> values;
    while (std::optional<std::string> value = ReadDataEntry(file)) {
        values.push_back(*value);
        if (values.size() > 100)
            break;
    }
    EXPECT_EQ(ReadDataEntry(file), std::nullopt) << "the end of the file must stay the end";
    std::fclose(file);
    return values;
}

const std::string k300 = "a=" + std::string(253, 'x') + "b = tail\n";

const ReaderCase kReaderCases[] = {
    {"Comments", "; ATI3 = nope\n;x\nlen = 5\n", {"5"}},
    {"SemicolonNotFirstIsNoComment", " ; note = x\n", {"x"}},
    {"LinesWithoutEqualsSkipped", "just words\n\n\n[section]\nv = 1\n", {"1"}},
    {"NameIsIgnoredEvenEmpty", "= bare\nlong name with blanks=2\n", {"bare", "2"}},
    {"QuotedKeepsInnerBlanksEndsAtQuote", "r = \"V2.3  beta \" trailing\n", {"V2.3  beta "}},
    {"UnquotedKeepsTrailingBlanks", "r = abc   \n", {"abc   "}},
    {"SpacesSkippedTabsKept", "a =     x\nb =\t y\nc = \t\"q\"\n", {"x", "\t y", "\t"}},
    {"OnlyOneQuoteSkipped", "a = \"\"x\"\n", {""}},
    {"UnclosedQuoteRunsToLineEnd", "a = \"open  \n", {"open  "}},
    {"EqualsInsideValue", "a = b=c\n", {"b=c"}},
    {"ValueAtEndOfTextWithoutLineEnd", "a = 1\nb = last", {"1", "last"}},
    {"CrLfIsOneLineEnd", "; c\r\na = 1\r\nb = \"x y\"\r\nc = z  \r\n\r\n", {"1", "x y", "z  "}},
    {"LoneCrStaysInValue", "a = x\ry\n", {"x\ry"}},
    {"EndMarkEndsFile", "a = 1\nb = 2\x1A\nc = 3\n", {"1", "2"}},
    {"EndMarkAfterCr", "a = 1\r\x1A\nb = 2\n", {"1\r"}},
    {"LongLineReadInPieces", k300, {std::string(253, 'x'), "tail"}},
    {"LineOfExactly255", "a=" + std::string(253, 'y') + "\nb = 2\n", {std::string(253, 'y'), "2"}},
    {"EmptyValueIsAnEntry", "a =\nb = \"\"\nc =   \nd = x\n", {"", "", "", "x"}},
    {"NulEndsTheLineText", "a = x\0y\nb = z\n"s, {"x", "z"}},
    {"EmptyFile", "", {}},
    {"FourEntriesOnly", ";\nL3 = 10\nE3 = V2\nL119 = 0\nE119 = D\n", {"10", "V2", "0", "D"}},
};

class ReaderTable : public testing::TestWithParam<ReaderCase> { };

TEST_P(ReaderTable, ReadsEntriesInOrder)
{
    EXPECT_EQ(ReadAll(GetParam().file), GetParam().values);
}

INSTANTIATE_TEST_SUITE_P(DataFile, ReaderTable, testing::ValuesIn(kReaderCases),
    [](const auto& info) { return std::string(info.param.name); });

struct NumberCase {
    const char* text;
    int32_t value;
};

TEST(LeadingNumber, ReadsLikeAtoi)
{
    const NumberCase cases[] = {
        {"22", 22},
        {"22OK", 22},
        {" \t\r\n\v\f 7", 7},
        {"+30", 30},
        {"-5x", -5},
        {"0", 0},
        {"", 0},
        {"auto", 0},
        {"Country 22", 0},
        {"- 5", 0},
        {"+-5", 0},
        {"0x1A", 0},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", INT32_MAX},
        {"-2147483649", INT32_MIN},
        {"000000000000000000000000042", 42},
        {"99999999999999999999999999999", INT32_MAX},
        {"-99999999999999999999999999999", INT32_MIN},
    };
    for (const NumberCase& c : cases)
        EXPECT_EQ(LeadingNumber(c.text), c.value) << '"' << c.text << '"';
}

} // namespace
