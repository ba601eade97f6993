// The identity stage: is the modem one the firmware is meant for?
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "app/QuilvexDlg.h"
#include "identify/DataFile.h"
#include "identify/LeadingNumber.h"
#include "identify/ModemQuery.h"
#include "platform/ui/message_box.h"

namespace {

// No check looks at more characters of a reply than this.
constexpr int kMaxCheckLength = 30;

const char kNotChecked[] = "*** Not checked ***";
const char kUnknown[] = "*** Unknown ***";

std::string WithFileName(const char* before, const char* after)
{
    return std::string(before) + CQuilvexDlg::kDataFileName + after;
}

// A check length entry: the number its value starts with, at most 30;
// 0 or less means the reply is not compared.
int CheckLength(const std::string& value)
{
    return std::min<int32_t>(LeadingNumber(value), kMaxCheckLength);
}

// Whether the first `length` characters of the reply and of the expected
// text (each cut to its own length if shorter) are the same.
bool PrefixMatches(const std::string& received, const std::string& expected, int length)
{
    auto n = static_cast<std::size_t>(length);
    return received.substr(0, n) == expected.substr(0, n);
}

// Asks `command` and returns the reply's text, or the unknown placeholder
// when the reply carries none.
std::string AskIdentity(const std::string& command)
{
    std::string text;
    if (AskModem(command, text) > 0)
        return text;
    return kUnknown;
}

// The next entry's value, or nothing when the entry is absent or empty.
std::optional<std::string> ReadRequiredEntry(std::FILE* file)
{
    std::optional<std::string> value = ReadDataEntry(file);
    if (value && value->empty())
        return std::nullopt;
    return value;
}

} // namespace

int CQuilvexDlg::CheckModemIdentity()
{
    DataFilePtr file = OpenDataFile(kDataFileName);
    if (!file) {
        ui::MessageBox(WithFileName("Missing data file '", "'!\n\nBypass ATI3/I119 checking."));
        m_strAti3 = kNotChecked;
        m_strAti119 = kNotChecked;
        return 1;
    }

    std::optional<std::string> entry = ReadRequiredEntry(file.get());
    if (!entry) {
        file.reset();
        ui::MessageBox(WithFileName("Missing ATI3 check length in '", "'!"));
        return 0;
    }
    const int ati3Length = CheckLength(*entry);

    std::optional<std::string> ati3Expected = ReadRequiredEntry(file.get());
    if (!ati3Expected) {
        file.reset();
        ui::MessageBox(WithFileName("Missing ATI3 expected response in '", "'!"));
        return 0;
    }

    entry = ReadRequiredEntry(file.get());
    if (!entry) {
        file.reset();
        ui::MessageBox(WithFileName("Missing ATI119 check length in '", "'!"));
        return 0;
    }
    const int ati119Length = CheckLength(*entry);

    std::optional<std::string> ati119Expected = ReadRequiredEntry(file.get());
    if (!ati119Expected) {
        file.reset();
        ui::MessageBox(WithFileName("Missing ATI119 expected response in '", "'!"));
        return 0;
    }

    if (std::optional<std::string> defaultImage = ReadRequiredEntry(file.get()))
        m_strFileName = *defaultImage;
    file.reset();

    m_strAti3 = AskIdentity("ATI3");
    if (ati3Length > 0 && !PrefixMatches(m_strAti3, *ati3Expected, ati3Length)) {
        ui::MessageBox("ATI3 response mismatch!\n\nExpected: " + *ati3Expected + "\nReceived: " + m_strAti3);
        return 0;
    }

    m_strAti119 = AskIdentity("ATI119");
    if (ati119Length > 0 && !PrefixMatches(m_strAti119, *ati119Expected, ati119Length)) {
        ui::MessageBox("ATI119 response mismatch!\n\nExpected: " + *ati119Expected + "\nReceived: " + m_strAti119);
        return 0;
    }
    return 1;
}
