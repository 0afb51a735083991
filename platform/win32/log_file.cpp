// The event log file on Windows.
#include "platform/log_file.h"

#include <windows.h>

#include "platform/win32/system_error.h"

namespace procguard {

namespace {

// Others may read the log, write to it, and rename or delete it (log
// rotation) while it is open here.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct LogFile {
    std::wstring path;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

LogFile& logFile() {
    static LogFile file;
    return file;
}

bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION first;
    BY_HANDLE_FILE_INFORMATION second;
    return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

// False when the name is gone (or still held by a file deleted while open),
// or names another file: the open file was renamed away or deleted.
bool stillNamed(HANDLE open, const std::wstring& path) {
    // No access asked for, so no sharing mode of another opener stands in the way.
    HANDLE named = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (named == INVALID_HANDLE_VALUE) return false;
    const bool same = sameFile(open, named);
    CloseHandle(named);
    return same;
}

} // namespace

Result appendToFile(const std::wstring& path, std::string_view line) {
    LogFile& file = logFile();
    if (file.handle != INVALID_HANDLE_VALUE && (file.path != path || !stillNamed(file.handle, path))) {
        CloseHandle(file.handle);
        file.handle = INVALID_HANDLE_VALUE;
    }
    if (file.handle == INVALID_HANDLE_VALUE) {
        // Append access without write access: every write lands at the end
        // of the file, whoever else appends to it.
        file.handle = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file.handle == INVALID_HANDLE_VALUE) return failure(systemErrorMessage(GetLastError(), path));
        file.path = path;
    }
    DWORD written = 0;
    if (!WriteFile(file.handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        return failure(systemErrorMessage(GetLastError(), path));
    if (written != line.size()) return failure(L"only part of the line was written");
    return {};
}

} // namespace procguard
