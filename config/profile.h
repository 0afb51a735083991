// Single keys of a profile (INI) config file: the profile access layer. The
// platform reads and writes the raw values (platform/platform.h); the rules
// of the program are applied here, once for every platform: how a file name
// becomes a path, that a read gives at most 2047 characters, that an empty
// value counts as missing, and how integers are written and read.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace procguard {

// The most characters a read gives; a longer stored value is cut.
inline constexpr std::size_t kMaxProfileValue = 2047;

// The path the profile functions receive for a config file name: a name the
// platform takes as complete is used as it stands, any other goes behind the
// current directory.
std::wstring resolveConfigPath(const std::wstring& fileName);

// The text stored under section/key, cut to kMaxProfileValue characters, or
// `defaultText` when the file, section or key is missing or the value empty.
std::wstring readProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& fileName, const std::wstring& defaultText);

// Stores `text` under section/key, creating file, section and key as needed
// and keeping every other line.
OsResult writeProfileString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fileName, const std::wstring& text);

// The integer at the start of the stored text (leading blanks, optional sign,
// digits; the rest ignored), or `defaultValue` when there is no digit, the
// number does not fit 32 bits, or the key is missing or empty.
std::int32_t readProfileInt(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fileName, std::int32_t defaultValue);

OsResult writeProfileInt(const std::wstring& section, const std::wstring& key,
                         const std::wstring& fileName, std::int32_t value);

} // namespace procguard
