// Profile (INI) files, one key at a time, on resolved paths. What an empty
// value means, how long a value read may be and how a file name becomes a
// path are the program's rules, applied above the seam (config/profile.h).
#pragma once

#include <cstddef>
#include <string>

#include "platform/result.h"

namespace procguard {

// The most characters a read gives; a longer stored value is cut. (The
// Windows profile call fills a buffer of one character more.)
inline constexpr std::size_t kMaxProfileValue = 2047;

// The current directory followed by the path separator.
std::wstring currentDirectoryPrefix();

// Whether a config file name is used as it stands rather than behind the
// current directory (Windows: its second character is a colon; Linux: it
// begins with '/').
bool isCompleteFileName(const std::wstring& fileName);

// The value stored under section/key in the profile file at `path`, as
// stored (a backend may cut it to kMaxProfileValue); empty when the file,
// section or key is missing or the value is empty.
std::wstring readProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path);

// Stores `text` under section/key, creating file, section and key as needed
// and keeping every other line.
Result writeProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                         const std::wstring& text);

// Whether the profile file at `path` has a section of that name (false also
// when the file cannot be read).
bool hasProfileSection(const std::wstring& section, const std::wstring& path);

// Whether `path` names an existing file whose keys can be read, and if not,
// why (Linux: also a text encoding its profile code cannot read).
Result checkReadableFile(const std::wstring& path);

} // namespace procguard
