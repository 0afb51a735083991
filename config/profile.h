// Single keys of a profile (INI) file. The string functions and path
// resolution are the platform's (platform/platform.h); the integer forms are
// built on them here, the same on every platform.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace procguard {

// Signed decimal text of a 32-bit value, as "%d" gives it.
std::wstring formatDecimal(std::int32_t value);

// The integer at the start of the stored text (leading blanks, optional sign,
// digits; the rest ignored), or `defaultValue` when there is no digit, the
// number does not fit 32 bits, or the key is missing or empty.
std::int32_t readProfileInt(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fileName, std::int32_t defaultValue);

OsResult writeProfileInt(const std::wstring& section, const std::wstring& key,
                         const std::wstring& fileName, std::int32_t value);

} // namespace procguard
