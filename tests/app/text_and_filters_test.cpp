// Label mnemonics, byte-string conversion and the file chooser's filters
// as the toolkit shows them.
#include <gtest/gtest.h>

#include "platform/ui/qt/qt_file_chooser.h"
#include "platform/ui/qt/qt_text.h"

using namespace ui::qt;

namespace {

struct MnemonicCase {
    const char* text;
    const char* html;
    const char* plain;
    bool plainLine; // reads the same as plain text as through the HTML
};

TEST(Mnemonics, LabelsUnderlineTheMarkedCharacterAndNeverShowTheMarker)
{
    const MnemonicCase cases[] = {
        {"&About Quilvex...", "<u>A</u>bout&nbsp;Quilvex...", "About Quilvex...", false},
        {"AT&T", "AT<u>T</u>", "ATT", false},
        {"R&&D", "R&amp;D", "R&D", false},
        {"end&", "end", "end", false},
        {"&&&x", "&amp;<u>x</u>", "&x", false},
        {"AT I3     : ", "AT&nbsp;I3&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;:&nbsp;", "AT I3     : ", true},
        {"<b>V2</b> \"x\"", "&lt;b&gt;V2&lt;/b&gt;&nbsp;&quot;x&quot;", "<b>V2</b> \"x\"", true},
        {"P#512 (100%)", "P#512&nbsp;(100%)", "P#512 (100%)", true},
        {"a\tb", "a&nbsp;b", "a\tb", false},
        {"a\r\nb", "a<br>b", "a\r\nb", false},
        {"", "", "", true},
    };
    for (const MnemonicCase& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MnemonicToHtml(QString::fromUtf8(c.text)), QString::fromUtf8(c.html));
        EXPECT_EQ(StripMnemonics(QString::fromUtf8(c.text)), QString::fromUtf8(c.plain));
        EXPECT_EQ(IsPlainLine(QString::fromUtf8(c.text)), c.plainLine);
    }
}

TEST(Mnemonics, MarkedCharacterOutsideTheBasicPlaneStaysWhole)
{
    QString text = QStringLiteral("&") + QString::fromUtf8("\xF0\x9F\x93\xA0") + QStringLiteral("x");
    EXPECT_EQ(
        MnemonicToHtml(text), QStringLiteral("<u>") + QString::fromUtf8("\xF0\x9F\x93\xA0") + QStringLiteral("</u>x"));
}

TEST(TextConversion, KeepsEveryByte)
{
    // Valid UTF-8 reads as UTF-8 and comes back unchanged.
    std::string utf8 = "Modem \xC3\xA9t\xC3\xA9";
    EXPECT_EQ(ToQString(utf8), QString::fromUtf8(utf8.c_str()));
    EXPECT_EQ(FromQString(ToQString(utf8)), utf8);
    // Anything else (a modem's code page) shows byte by byte, nothing replaced.
    std::string raw = "V2.3\xE9\xFF\x80";
    QString shown = ToQString(raw);
    ASSERT_EQ(shown.size(), 7);
    EXPECT_EQ(shown[4].unicode(), 0xE9);
    EXPECT_EQ(shown[5].unicode(), 0xFF);
    EXPECT_EQ(shown[6].unicode(), 0x80);
    EXPECT_FALSE(shown.contains(QChar::ReplacementCharacter));
}

TEST(FileFilters, PairsShowAsTheToolkitsNameFilters)
{
    struct Case {
        ui::FilterPair pair;
        const char* shown;
    } const cases[] = {
        {{"Binary Files (*.dlf)", {"*.dlf"}}, "Binary Files (*.dlf)"},
        {{"All Files (*.*)", {"*.*"}}, "All Files (*)"},
        {{"Images", {"*.png", "*.jpg"}}, "Images (*.png *.jpg)"},
        {{"Old label (*.bin)", {"*.dlf"}}, "Old label (*.dlf)"},
        {{"(*.dlf)", {"*.dlf"}}, "*.dlf"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NameFilter(c.pair), QString::fromUtf8(c.shown));
}

} // namespace
