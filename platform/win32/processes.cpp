// Processes on Windows: enumeration, image paths, start and termination.
#include "platform/platform.h"

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <cwctype>

#include "platform/win32/system_error.h"

namespace procguard {

namespace {

// Longest path the system hands out, terminator included (the \\?\ limit).
constexpr DWORD kLongestPath = 32768;

// ShellExecuteW reports some failures only through its result code.
std::wstring shellExecuteErrorText(INT_PTR code) {
    switch (code) {
    case 0: return L"The operating system is out of memory or resources.";
    case SE_ERR_FNF: return L"The specified file was not found.";
    case SE_ERR_PNF: return L"The specified path was not found.";
    case SE_ERR_ACCESSDENIED: return L"The operating system denied access to the specified file.";
    case SE_ERR_OOM: return L"There was not enough memory to complete the operation.";
    case ERROR_BAD_FORMAT: return L"The .exe file is invalid.";
    case SE_ERR_SHARE: return L"A sharing violation occurred.";
    case SE_ERR_ASSOCINCOMPLETE: return L"The file name association is incomplete or invalid.";
    case SE_ERR_DDETIMEOUT:
    case SE_ERR_DDEFAIL:
    case SE_ERR_DDEBUSY: return L"The DDE transaction could not be completed.";
    case SE_ERR_NOASSOC: return L"There is no application associated with the given file name extension.";
    case SE_ERR_DLLNOTFOUND: return L"The specified DLL was not found.";
    default: return L"The program could not be started (code " + std::to_wstring(code) + L").";
    }
}

} // namespace

bool enumerateProcessIds(std::vector<ProcessId>& ids) {
    // EnumProcesses cannot say how many ids there are; a buffer that comes
    // back full may have cut the list, so it is doubled until it does not.
    std::vector<DWORD> buffer(1024);
    for (;;) {
        const DWORD capacity = static_cast<DWORD>(buffer.size() * sizeof(DWORD));
        DWORD returned = 0;
        if (!EnumProcesses(buffer.data(), capacity, &returned)) {
            ids.clear();
            return false;
        }
        if (returned < capacity || buffer.size() >= (1u << 24)) {
            ids.assign(buffer.begin(), buffer.begin() + returned / sizeof(DWORD));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring getProcessImagePath(ProcessId id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) return L"<unknown>";
    // Every check reads one path per process: the usual length stays on the
    // stack, and only a longer path is read again into the largest buffer.
    std::wstring path = L"<unknown>";
    wchar_t usual[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, usual, &size)) {
        path.assign(usual, size);
    } else if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::wstring longer(kLongestPath, L'\0');
        size = kLongestPath;
        if (QueryFullProcessImageNameW(process, 0, longer.data(), &size)) path.assign(longer, 0, size);
    }
    CloseHandle(process);
    return path;
}

std::wstring foldPathCase(const std::wstring& path) {
    std::wstring folded = path;
    for (wchar_t& unit : folded) unit = static_cast<wchar_t>(towlower(unit));
    return folded;
}

OsResult startProcess(const std::wstring& path, const std::wstring& arguments) {
    SetLastError(0);
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", path.c_str(), arguments.c_str(), nullptr, SW_SHOWDEFAULT);
    const DWORD lastError = GetLastError();
    const INT_PTR code = reinterpret_cast<INT_PTR>(result);
    if (code > 32) return {};
    return {false, lastError != 0 ? systemErrorMessage(lastError, path) : shellExecuteErrorText(code)};
}

bool terminateProcess(ProcessId id, std::uint32_t timeoutMs) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return false;
    bool ended = false;
    if (TerminateProcess(process, 0)) {
        const DWORD waited = WaitForSingleObject(process, timeoutMs);
        ended = waited != WAIT_TIMEOUT && waited != WAIT_FAILED;
    }
    CloseHandle(process);
    return ended;
}

void sleepMilliseconds(std::uint32_t ms) { Sleep(ms); }

} // namespace procguard
