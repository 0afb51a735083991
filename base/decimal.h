// Decimal numbers as config files and argument lines write and read them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace procguard {

// Signed decimal text of a 32-bit value, as "%d" gives it: a minus sign for
// negative values, no plus sign, no leading zeros or blanks.
std::wstring formatDecimal(std::int32_t value);

// The signed integer at the start of `text`, read the way a formatted stream
// extraction reads an int: leading white space, an optional sign, then the
// digits up to the first non-digit; the rest is ignored.
enum class LeadingNumber {
    Read,     // `value` holds the number
    NoDigit,  // no number stands there; `value` is untouched
    TooLarge, // the number does not fit 32 bits; `value` holds the nearest limit
};
LeadingNumber readLeadingInt(std::wstring_view text, std::int32_t& value);

} // namespace procguard
