// Files as the watch loop and the dialogue see them: counts of a wildcard
// search, whether a path is a folder, whether it exists.
#pragma once

#include <cstdint>
#include <string>

namespace procguard {

// Number of directory entries a wildcard search for `mask` returns; never
// negative, 0 when the search cannot start. Prints nothing.
std::int32_t countMatchingFiles(const std::wstring& mask);

// True when `path` names an existing folder, which is never started: on
// Windows the shell would open it in a file manager window at every check.
bool isFolder(const std::wstring& path);

// True when `path` names an existing directory entry of any kind.
bool fileExists(const std::wstring& path);

} // namespace procguard
