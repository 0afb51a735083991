// Saving and loading the settings of a run as a profile file.
#pragma once

#include <cstdint>
#include <string>

#include "config/watch_settings.h"
#include "platform/platform.h"

namespace procguard {

// The most variable sections a load reads. A larger or negative count in a
// file is refused rather than allocated.
inline constexpr std::int32_t kMaxConfigVariables = 10000;

enum class LoadStatus {
    Loaded,
    FileMissing,     // the file does not exist or cannot be read
    BadVariableCount // "variables" is negative or above kMaxConfigVariables
};

struct LoadResult {
    LoadStatus status = LoadStatus::Loaded;
    std::wstring path;    // the resolved path that was read
    std::wstring message; // what went wrong, ready to print; empty when loaded
};

// "variable" followed by the index in decimal.
std::wstring variableSectionName(std::uint32_t index);

// Writes the 9 + 4 * n keys in their fixed order. Stops at the first write
// that fails and returns its error.
OsResult saveConfig(const std::wstring& fileName, const WatchSettings& settings);

// Reads the keys in the same order with their defaults and appends the
// variables to `settings.variables`. A missing file leaves every field but
// the variables at its default; a bad variable count leaves the fields as
// read and appends no variable. Either is reported in the result.
LoadResult loadConfig(const std::wstring& fileName, WatchSettings& settings);

} // namespace procguard
