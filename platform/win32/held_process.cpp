// Holding a process on Windows: an open handle, which refers to one process
// and keeps its id from passing to another for as long as it is open.
#include "platform/held_process.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/image_path.h"
#include "platform/win32/job.h"

namespace procguard {

namespace {

// Synchronize to see it end, query to read its image, terminate to end it
// when hung. Where that is refused (a process of another user, one that is
// elevated), less is asked for: a process that can only be watched is still
// held, and its termination then fails as it would have anyway.
constexpr DWORD kAccessWanted[] = {
    SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
    SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION,
    SYNCHRONIZE,
};

} // namespace

HeldProcess holdProcess(ProcessId id) {
    HeldProcess process;
    process.id = id;
    if (id == 0) return process;
    for (DWORD access : kAccessWanted) {
        if (HANDLE handle = OpenProcess(access, FALSE, id)) {
            process.handle = reinterpret_cast<std::intptr_t>(handle);
            return process;
        }
        if (GetLastError() != ERROR_ACCESS_DENIED) break;
    }
    return process;
}

bool processHasEnded(const HeldProcess& process) {
    return process.handle != -1 && WaitForSingleObject(reinterpret_cast<HANDLE>(process.handle), 0) == WAIT_OBJECT_0;
}

bool heldProcessRuns(const HeldProcess&, const std::wstring&) { return false; }

bool listJobProcessIds(HANDLE job, std::vector<ProcessId>& ids) {
    ids.clear();
    // The list says how many processes the job has; the buffer grows until
    // they all fit (the job may gain some between two calls).
    std::vector<ULONG_PTR> buffer(64);
    for (;;) {
        auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
        const DWORD size = static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR));
        const BOOL queried = QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, size, nullptr);
        if (queried) {
            ids.assign(list->ProcessIdList, list->ProcessIdList + list->NumberOfProcessIdsInList);
            return true;
        }
        if (GetLastError() != ERROR_MORE_DATA) return false;
        buffer.resize(2 + std::max<std::size_t>(buffer.size(), list->NumberOfAssignedProcesses) * 2);
    }
}

std::vector<ProcessId> listTreeProcesses(const HeldProcess& process) {
    if (process.id == 0) return {};
    if (process.tree == -1) return {process.id};
    std::vector<ProcessId> ids;
    if (!listJobProcessIds(reinterpret_cast<HANDLE>(process.tree), ids)) {
        if (!processHasEnded(process)) ids.push_back(process.id);
        return ids;
    }
    const auto held = std::find(ids.begin(), ids.end(), process.id);
    if (held != ids.end()) std::rotate(ids.begin(), held, held + 1);
    return ids;
}

bool treeContains(const HeldProcess& process, ProcessId id) {
    if (id == 0) return false;
    if (id == process.id) return !processHasEnded(process);
    if (process.tree == -1) return false;
    // Wine answers IsProcessInJob only with full query access; Windows with less.
    HANDLE other = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, id);
    if (other == nullptr) return false;
    BOOL inJob = FALSE;
    const bool contained = IsProcessInJob(other, reinterpret_cast<HANDLE>(process.tree), &inJob) && inJob &&
                           WaitForSingleObject(other, 0) == WAIT_TIMEOUT;
    CloseHandle(other);
    return contained;
}

void releaseProcess(HeldProcess& process) {
    if (process.handle != -1) CloseHandle(reinterpret_cast<HANDLE>(process.handle));
    // The job goes on without a handle of ours: it has no limit that ends
    // its processes when the last one closes.
    if (process.tree != -1) CloseHandle(reinterpret_cast<HANDLE>(process.tree));
    process = HeldProcess{};
}

bool readHeldImagePath(const HeldProcess& process, std::wstring& path) {
    if (process.handle == -1 || processHasEnded(process)) return false;
    return queryImagePath(reinterpret_cast<HANDLE>(process.handle), path);
}

} // namespace procguard
