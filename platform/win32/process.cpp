// Processes on Windows: enumeration and image paths.
#include "platform/process.h"

#include <windows.h>
#include <psapi.h>

#include "base/windows_names.h"
#include "platform/win32/image_path.h"

namespace procguard {

namespace {

// Longest path the system hands out, terminator included (the \\?\ limit).
constexpr DWORD kLongestPath = 32768;
// EnumProcesses is first asked for this many ids; the buffer doubles while
// it comes back full, up to kMostProcessIds.
constexpr std::size_t kFirstProcessIds = 1024;
constexpr std::size_t kMostProcessIds = std::size_t{1} << 24;

} // namespace

// Windows has no zombies to collect: a process that ended is gone once the
// last handle to it is closed, and the held target's handle is closed when
// the watchdog lets go of it.
void collectEndedProcesses() {}

bool enumerateProcessIds(std::vector<ProcessId>& ids) {
    // EnumProcesses cannot say how many ids there are; a buffer that comes
    // back full may have cut the list, so it is doubled until it does not.
    std::vector<DWORD> buffer(kFirstProcessIds);
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
        DWORD returned = 0;
        if (!EnumProcesses(buffer.data(), capacity, &returned)) {
            ids.clear();
            return false;
        }
        if (returned < capacity || buffer.size() >= kMostProcessIds) {
            ids.assign(buffer.begin(), buffer.begin() + returned / sizeof(DWORD));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

// Every check reads one path per process: the usual length stays on the
// stack, and only a longer path is read again into the largest buffer.
bool queryImagePath(HANDLE process, std::wstring& path) {
    wchar_t usual[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, usual, &size)) {
        path.assign(usual, size);
        return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    std::wstring longer(kLongestPath, L'\0');
    size = kLongestPath;
    if (!QueryFullProcessImageNameW(process, 0, longer.data(), &size)) return false;
    path.assign(longer, 0, size);
    return true;
}

bool readProcessImagePath(ProcessId id, std::wstring& path) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) return false;
    const bool read = queryImagePath(process, path);
    CloseHandle(process);
    return read;
}

// The kernel's own work shows as the System process, which is listed as
// any process whose image cannot be read.
bool isKernelThread(ProcessId) { return false; }

bool resolveTargetPath(const std::wstring& path, std::wstring& resolved) {
    // The full path first (relative to the current directory), then the long
    // form of every short 8.3 name in it, which exists only for a file that
    // exists: a missing file is not resolved.
    const DWORD fullLength = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (fullLength == 0) return false;
    std::wstring full(fullLength, L'\0');
    const DWORD fullWritten = GetFullPathNameW(path.c_str(), fullLength, full.data(), nullptr);
    if (fullWritten == 0 || fullWritten >= fullLength) return false;
    full.resize(fullWritten);
    const DWORD longLength = GetLongPathNameW(full.c_str(), nullptr, 0);
    if (longLength == 0) return false;
    std::wstring longForm(longLength, L'\0');
    const DWORD longWritten = GetLongPathNameW(full.c_str(), longForm.data(), longLength);
    if (longWritten == 0 || longWritten >= longLength) return false;
    longForm.resize(longWritten);
    resolved = std::move(longForm);
    return true;
}

std::wstring foldPathCase(const std::wstring& path) { return foldWindowsCase(path); }

} // namespace procguard
