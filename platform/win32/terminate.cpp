// Terminating a process on Windows.
#include "platform/terminate.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/clock.h"
#include "platform/win32/job.h"

namespace procguard {

namespace {

// A job that takes its time is looked at less and less often.
constexpr DWORD kFirstJobPollMs = 2;
constexpr DWORD kMostJobPollMs = 50;

bool terminateAndWait(HANDLE process, std::uint32_t timeoutMs) {
    if (!TerminateProcess(process, 0)) return false;
    const DWORD waited = WaitForSingleObject(process, timeoutMs);
    return waited != WAIT_TIMEOUT && waited != WAIT_FAILED;
}

// TerminateJobObject ends every process of the job, the target and all it
// started, in one call; the job lists a process until it has ended. A job
// that cannot be listed is not reported as ended.
bool terminateJob(HANDLE job, HANDLE leader, std::uint32_t timeoutMs) {
    const std::int64_t deadline = monotonicMilliseconds() + timeoutMs;
    if (!TerminateJobObject(job, 0)) {
        // Ended as a process at least, but not reported as the whole tree.
        terminateAndWait(leader, timeoutMs);
        return false;
    }
    DWORD interval = kFirstJobPollMs;
    for (;;) {
        const std::int64_t now = monotonicMilliseconds();
        const DWORD remaining =
            now >= deadline ? 0 : static_cast<DWORD>(std::min<std::int64_t>(deadline - now, INFINITE - 1));
        std::vector<ProcessId> left;
        if (WaitForSingleObject(leader, remaining) == WAIT_OBJECT_0 && listJobProcessIds(job, left) && left.empty())
            return true;
        if (monotonicMilliseconds() >= deadline) return false;
        Sleep(interval);
        interval = std::min(interval * 2, kMostJobPollMs);
    }
}

} // namespace

bool terminateProcess(const HeldProcess& process, std::uint32_t timeoutMs) {
    // A held handle is this very process; its id cannot have passed on.
    if (process.handle != -1) {
        const auto handle = reinterpret_cast<HANDLE>(process.handle);
        if (process.tree != -1) return terminateJob(reinterpret_cast<HANDLE>(process.tree), handle, timeoutMs);
        return terminateAndWait(handle, timeoutMs);
    }
    HANDLE opened = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.id);
    if (opened == nullptr) return false;
    const bool ended = terminateAndWait(opened, timeoutMs);
    CloseHandle(opened);
    return ended;
}

} // namespace procguard
