// Starting the target on Windows.
#include "platform/spawn.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>

#include "platform/win32/job.h"
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

// A child that starts children of its own faster than they can be caught
// would keep the rounds going; after this many the rest is left out.
constexpr int kMostJoinRounds = 64;

// IsProcessInJob needs less on Windows; Wine wants full query access.
constexpr DWORD kQueryAccess = PROCESS_QUERY_INFORMATION;

// The creation time of a process, in the units of FILETIME; 0 when unknown.
ULONGLONG creationTime(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

ULONGLONG systemTimeNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

struct JobMember {
    DWORD id = 0;
    ULONGLONG created = 0;
};

std::vector<JobMember> jobMembers(HANDLE job) {
    std::vector<JobMember> members;
    std::vector<ProcessId> ids;
    listJobProcessIds(job, ids);
    for (ProcessId id : ids) {
        HANDLE member = OpenProcess(kQueryAccess, FALSE, id);
        if (member == nullptr) continue;
        // Between the list and the open the id may have passed on.
        BOOL inJob = FALSE;
        if (IsProcessInJob(member, job, &inJob) && inJob) members.push_back({id, creationTime(member)});
        CloseHandle(member);
    }
    return members;
}

// One round: every process whose parent is in the job, that is not in it
// itself, and that is the parent's child: created after it. A process
// created after the round began may hold an id the list showed for another
// process that ended since; it is looked at again in the next round. True
// when the round changed something or left something to look at.
bool joinChildrenOfMembers(HANDLE job) {
    const std::vector<JobMember> members = jobMembers(job);
    const ULONGLONG roundStarted = systemTimeNow();
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    bool again = false;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        const auto parent = std::find_if(members.begin(), members.end(),
                                         [&](const JobMember& m) { return m.id == entry.th32ParentProcessID; });
        if (parent == members.end() || entry.th32ProcessID == 0) continue;
        HANDLE child = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE | kQueryAccess, FALSE, entry.th32ProcessID);
        if (child == nullptr) continue; // ended, or not ours to move
        BOOL inJob = TRUE;
        const ULONGLONG created = creationTime(child);
        if (IsProcessInJob(child, job, &inJob) && !inJob && created != 0) {
            if (created >= roundStarted)
                again = true;
            else if (created >= parent->created && AssignProcessToJobObject(job, child))
                again = true;
        }
        CloseHandle(child);
    }
    CloseHandle(snapshot);
    return again;
}

} // namespace

bool assignWithEarlyChildren(HANDLE job, HANDLE process) {
    if (!AssignProcessToJobObject(job, process)) return false;
    // What the processes of the job start from now on is in it already; only
    // what they started before each joined can have escaped.
    for (int round = 0; round < kMostJoinRounds && joinChildrenOfMembers(job); ++round) {}
    return true;
}

Result startProcess(const std::wstring& path, const std::wstring& arguments, HeldProcess& started) {
    started = HeldProcess{};
    // The same verb, file, parameters and show command as ShellExecuteW,
    // asking for the process: it is held as the target while it lives,
    // whatever its image (a batch file runs as cmd.exe). NOASYNC makes the
    // call finish its work before it returns, and FLAG_NO_UI keeps a failure
    // from showing a message box that waits for a click, both as the plain
    // call does: an unattended watchdog must never stop at a dialog.
    SHELLEXECUTEINFOW info{};
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
        // A job of its own, with no limits, so that it lives on with its
        // processes when the watchdog closes it or ends. ShellExecuteExW
        // cannot start a process suspended, so whatever the target started
        // before it joined is looked for and put in afterwards. Without a
        // job the target is still held, as its own process only.
        if (HANDLE job = CreateJobObjectW(nullptr, nullptr)) {
            if (assignWithEarlyChildren(job, info.hProcess))
                started.tree = reinterpret_cast<std::intptr_t>(job);
            else
                CloseHandle(job);
        }
    }
    return {};
}

} // namespace procguard
