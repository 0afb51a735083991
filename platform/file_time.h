// File times, for the heartbeat file a target touches to show it is alive.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace procguard {

// The time the file at `path` (its symbolic links followed) was last
// modified, to the precision the file system keeps; none when it is missing
// or cannot be looked at.
std::optional<std::chrono::system_clock::time_point> fileModificationTime(const std::wstring& path);

} // namespace procguard
