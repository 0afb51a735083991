// Counting the entries of a wildcard file search, and telling a folder from
// a file.
#include "platform/files.h"

#include <windows.h>

namespace procguard {

std::int32_t countMatchingFiles(const std::wstring& mask) {
    // The mask goes to the system as it stands: which names "*" and "?" match,
    // and whether "." and ".." come back, is the file system's rule.
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(mask.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    std::int32_t count = 1;
    while (FindNextFileW(search, &entry)) ++count;
    // ERROR_NO_MORE_FILES is the normal end. Any other error breaks the
    // search off, and the entries seen until then still count.
    const DWORD endReason = GetLastError();
    static_cast<void>(endReason);
    FindClose(search);
    return count;
}

bool isFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

} // namespace procguard
