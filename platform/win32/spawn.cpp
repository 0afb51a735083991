// Starting the target on Windows.
#include "platform/platform.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/system_error.h"

namespace procguard {

namespace {

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

OsResult startProcess(const std::wstring& path, const std::wstring& arguments) {
    SetLastError(0);
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", path.c_str(), arguments.c_str(), nullptr, SW_SHOWDEFAULT);
    const DWORD lastError = GetLastError();
    const INT_PTR code = reinterpret_cast<INT_PTR>(result);
    if (code > 32) return {};
    return {false, lastError != 0 ? systemErrorMessage(lastError, path) : shellExecuteErrorText(code)};
}

} // namespace procguard
