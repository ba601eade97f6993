// The file chooser's filter and default extension, as every front end
// reads them.
#include <gtest/gtest.h>

#include "platform/ui/file_filter.h"

namespace {

using ui::FilterPair;

TEST(FileFilter, PairsEndAtTheFirstEmptyLabelOrLabelWithoutPattern)
{
    struct Case {
        const char* filter;
        std::vector<FilterPair> pairs;
    } const cases[] = {
        {"Binary Files (*.dlf)|*.dlf|All Files (*.*)|*.*||",
            {{"Binary Files (*.dlf)", {"*.dlf"}}, {"All Files (*.*)", {"*.*"}}}},
        {"Images|*.png;*.jpg||", {{"Images", {"*.png", "*.jpg"}}}},
        {"Old label (*.bin)|*.dlf||", {{"Old label (*.bin)", {"*.dlf"}}}},
        {"(*.dlf)|*.dlf||", {{"(*.dlf)", {"*.dlf"}}}},
        {"Images|*.dlf", {{"Images", {"*.dlf"}}}}, // no closing bars
        {"A|*.a||B|*.b||", {{"A", {"*.a"}}}}, // nothing after the end
        {"Binary Files|*.dlf||Ignored|*.x||", {{"Binary Files", {"*.dlf"}}}},
        // A label without a pattern ends the list, wherever it stands.
        {"Binary Files|*.dlf|Dangling||", {{"Binary Files", {"*.dlf"}}}},
        {"A|*.a|Label only||B|*.b||", {{"A", {"*.a"}}}},
        {"A|*.a|B| ; ||", {{"A", {"*.a"}}}},
        {"Label only|", {}},
        {"No patterns||", {}},
        {"|*.dlf||", {}},
        {"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        EXPECT_EQ(ui::ParseFilter(c.filter), c.pairs);
    }
}

TEST(FileFilter, DefaultExtensionIsThePlainExtension)
{
    const std::pair<const char*, const char*> cases[] = {
        {"*.dlf", "dlf"},
        {".dlf", "dlf"},
        {"dlf", "dlf"},
        {"*.*", ""},
        {"*.d?f", ""},
        {"", ""},
    };
    for (const auto& [text, extension] : cases)
        EXPECT_EQ(ui::PlainExtension(text), extension) << text;
}

} // namespace
