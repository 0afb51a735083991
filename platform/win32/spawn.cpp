// Starting the target on Windows.
#include "platform/spawn.h"

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

Result startProcess(const std::wstring& path, const std::wstring& arguments, HeldProcess& started) {
    started = HeldProcess{};
    // The same verb, file, parameters and show command as ShellExecuteW,
    // asking for the process: it is held as the target while it lives,
    // whatever its image (a batch file runs as cmd.exe). NOASYNC makes the
    // call finish its work before it returns, and FLAG_NO_UI keeps a failure
    // from showing a message box that waits for a click, both as the plain
    // call does: an unattended watchdog must never stop at a dialog.
    SHELLEXECUTEINFOW info {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = path.c_str();
    info.lpParameters = arguments.c_str();
    info.nShow = SW_SHOWDEFAULT;
    SetLastError(0);
    if (!ShellExecuteExW(&info)) {
        const DWORD lastError = GetLastError();
        const INT_PTR code = reinterpret_cast<INT_PTR>(info.hInstApp);
        return failure(lastError != 0 ? systemErrorMessage(lastError) : shellExecuteErrorText(code));
    }
    // No process comes back where the file went to a program that was
    // already running (a document, a folder window); then nothing is held.
    if (info.hProcess != nullptr) {
        started.id = GetProcessId(info.hProcess);
        started.handle = reinterpret_cast<std::intptr_t>(info.hProcess);
    }
    return {};
}

} // namespace procguard
