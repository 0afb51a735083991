// File times on Linux.
#include "platform/file_time.h"

#include <sys/stat.h>

#include "base/utf8.h"

namespace procguard {

std::optional<std::chrono::system_clock::time_point> fileModificationTime(const std::wstring& path) {
    struct stat info {};
    if (stat(encodeUtf8(path).c_str(), &info) != 0) return std::nullopt;
    const auto sinceEpoch = std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(sinceEpoch));
}

} // namespace procguard
