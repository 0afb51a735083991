// File times on Windows.
#include "platform/file_time.h"

#include <windows.h>

#include <cstdint>

namespace procguard {

namespace {

// FILETIME counts 100 ns ticks from 1601-01-01, the system clock's epoch is
// 1970-01-01: 369 years, 89 of them leap years, apart.
constexpr std::int64_t kTicksFrom1601To1970 = 116444736000000000LL;
using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;

} // namespace

std::optional<std::chrono::system_clock::time_point> fileModificationTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    const std::int64_t ticks =
        (static_cast<std::int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(Ticks(ticks - kTicksFrom1601To1970)));
}

} // namespace procguard
