// Reading the decimal number a text starts with.
#pragma once

#include <cstdint>
#include <string_view>

// The number at the start of `text`, read the way atoi reads it: leading
// white space, then an optional sign, then digits up to the first non-digit.
// Returns 0 when no digits follow; a number beyond the 32-bit range gives
// the nearest limit. Never fails.
int32_t LeadingNumber(std::string_view text);
