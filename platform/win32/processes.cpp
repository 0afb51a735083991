// Processes on Windows: enumeration and image paths.
#include "platform/platform.h"

#include <windows.h>
#include <psapi.h>

#include <cwctype>

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
// last handle to it is closed, and no handle to a started target is kept.
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

bool readProcessImagePath(ProcessId id, std::wstring& path) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) return false;
    // Every check reads one path per process: the usual length stays on the
    // stack, and only a longer path is read again into the largest buffer.
    bool read = false;
    wchar_t usual[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, usual, &size)) {
        path.assign(usual, size);
        read = true;
    } else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::wstring longer(kLongestPath, L'\0');
        size = kLongestPath;
        read = QueryFullProcessImageNameW(process, 0, longer.data(), &size) != 0;
        if (read) path.assign(longer, 0, size);
    }
    CloseHandle(process);
    return read;
}

std::wstring foldPathCase(const std::wstring& path) {
    std::wstring folded = path;
    for (wchar_t& unit : folded) unit = static_cast<wchar_t>(towlower(unit));
    return folded;
}

} // namespace procguard
