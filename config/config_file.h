// Saving and loading the settings of a run as a profile file.
#pragma once

#include <cstdint>
#include <string>

#include "config/watch_settings.h"
#include "platform/result.h"

namespace procguard {

// The most variable sections a load reads. A larger or negative count in a
// file is refused rather than allocated.
inline constexpr std::int32_t kMaxConfigVariables = 10000;

enum class LoadStatus {
    Loaded,
    FileMissing,      // the file does not exist or cannot be read (on Linux also: its encoding)
    NoTarget,         // no [main] section, or no processName in it (or an empty one)
    BadVariableCount, // "variables" is negative or above kMaxConfigVariables
    BadKey,           // a key of [health] or [restart] that is given but cannot be used
};

struct LoadResult {
    LoadStatus status = LoadStatus::Loaded;
    std::wstring path; // the resolved path that was read
    Result outcome;    // ok when loaded; else what went wrong, naming the file, ready to print
};

// "variable" followed by the index in decimal.
std::wstring variableSectionName(std::uint32_t index);

// Writes the 9 + 4 * n keys in their fixed order, all to the path the file
// name resolves to. Stops at the first write that fails and returns its
// reason.
Result saveConfig(const std::wstring& fileName, const WatchSettings& settings);

// Reads the keys in the same order with their defaults and appends the
// variables to `settings.variables`. A load that is refused appends no
// variable and sets every other field: to its default when the file cannot
// be read, as read when it names no target or gives a bad variable count.
// The result says which, with a message that names the file.
LoadResult loadConfig(const std::wstring& fileName, WatchSettings& settings);

} // namespace procguard
