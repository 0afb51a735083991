// Holding a process on Windows: an open handle, which refers to one process
// and keeps its id from passing to another for as long as it is open.
#include "platform/held_process.h"

#include <windows.h>

#include "platform/win32/image_path.h"

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
    return process.handle != -1 &&
           WaitForSingleObject(reinterpret_cast<HANDLE>(process.handle), 0) == WAIT_OBJECT_0;
}

bool heldProcessRuns(const HeldProcess&, const std::wstring&) { return false; }

void releaseProcess(HeldProcess& process) {
    if (process.handle != -1) CloseHandle(reinterpret_cast<HANDLE>(process.handle));
    process = HeldProcess{};
}

bool readHeldImagePath(const HeldProcess& process, std::wstring& path) {
    if (process.handle == -1 || processHasEnded(process)) return false;
    return queryImagePath(reinterpret_cast<HANDLE>(process.handle), path);
}

} // namespace procguard
