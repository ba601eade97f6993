// The identity stage: is the modem one the firmware is meant for?
#include <algorithm>
#include <iterator>
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

// Asks `command`, shows its reply text in `shown`, and compares the first
// `length` characters with `expected` (nothing when length is 0 or less).
// Returns false after showing the mismatch message.
bool AskAndCompare(const std::string& command, int length, const std::string& expected, std::string& shown)
{
    shown = AskIdentity(command);
    if (length > 0 && !PrefixMatches(shown, expected, length)) {
        ui::MessageBox(command + " response mismatch!\n\nExpected: " + expected + "\nReceived: " + shown);
        return false;
    }
    return true;
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

    // The four required entries, in file order: ATI3 check length, ATI3
    // expected reply, ATI119 check length, ATI119 expected reply.
    static const char* const kMissing[] = {
        "Missing ATI3 check length in '",
        "Missing ATI3 expected response in '",
        "Missing ATI119 check length in '",
        "Missing ATI119 expected response in '",
    };
    std::string required[std::size(kMissing)];
    for (std::size_t i = 0; i < std::size(kMissing); ++i) {
        std::optional<std::string> value = ReadRequiredEntry(file.get());
        if (!value) {
            file.reset();
            ui::MessageBox(WithFileName(kMissing[i], "'!"));
            return 0;
        }
        required[i] = std::move(*value);
    }
    if (std::optional<std::string> defaultImage = ReadRequiredEntry(file.get()))
        m_strFileName = *defaultImage;
    file.reset();

    // ATI119 is asked only once the ATI3 reply passed (or was not compared).
    if (!AskAndCompare("ATI3", CheckLength(required[0]), required[1], m_strAti3))
        return 0;
    if (!AskAndCompare("ATI119", CheckLength(required[2]), required[3], m_strAti119))
        return 0;
    return 1;
}
