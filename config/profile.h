// Single keys of a profile (INI) config file: the profile access layer. The
// platform reads and writes the raw values (platform/profile.h); the rules
// of the program are applied here, once for every platform: how a file name
// becomes a path, that a read gives at most kMaxProfileValue characters, that
// an empty value counts as missing, and how integers are written and read.
//
// A config file name is resolved into a path once, by resolveConfigPath;
// every key of a load or a save then goes to that one path.
#pragma once

#include <cstdint>
#include <string>

#include "platform/profile.h"

namespace procguard {

// The path the profile functions receive for a config file name: a name the
// platform takes as complete is used as it stands, any other goes behind the
// current directory.
std::wstring resolveConfigPath(const std::wstring& fileName);

// The text stored under section/key, cut to kMaxProfileValue characters, or
// `defaultText` when the file, section or key is missing or the value empty.
std::wstring readProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                               const std::wstring& defaultText);

// Stores `text` under section/key, creating file, section and key as needed
// and keeping every other line.
Result writeProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                          const std::wstring& text);

// The integer at the start of the stored text (leading blanks, optional sign,
// digits; the rest ignored), or `defaultValue` when there is no digit, the
// number does not fit 32 bits, or the key is missing or empty.
std::int32_t readProfileInt(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                            std::int32_t defaultValue);

Result writeProfileInt(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                       std::int32_t value);

} // namespace procguard
