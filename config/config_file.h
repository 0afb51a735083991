// Saving and loading the settings of a run as a profile file.
#pragma once

#include <cstdint>
#include <string>

#include "finish/finish_condition.h"
#include "platform/platform.h"
#include "vars/variable.h"

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
OsResult saveConfig(const std::wstring& fileName, const std::wstring& processName,
                    const std::wstring& commandParams, const VariableList& variables,
                    std::uint32_t checkPeriod, std::uint32_t responseTimeout,
                    const FinishCondition& finishCondition);

// Reads the keys in the same order with their defaults and appends the
// variables to `variables`. A missing file or a bad variable count is
// reported in the result; the fields then hold their defaults and no
// variable is appended.
LoadResult loadConfig(const std::wstring& fileName, std::wstring& processName,
                      std::wstring& commandParams, VariableList& variables,
                      std::uint32_t& checkPeriod, std::uint32_t& responseTimeout,
                      FinishCondition& finishCondition);

} // namespace procguard
