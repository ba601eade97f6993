// Reading the decimal number a text starts with.
#include "identify/LeadingNumber.h"

#include <limits>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int32_t LeadingNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate in 64 bits and stop growing once past the 32-bit range, so
    // any number of digits is safe.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (text[i] - '0');
    }
    if (negative)
        return magnitude >= kLimit ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(-magnitude);
    return magnitude >= kLimit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
}
