// Terminating a process on Windows.
#include "platform/terminate.h"

#include <windows.h>

namespace procguard {

namespace {

bool terminateAndWait(HANDLE process, std::uint32_t timeoutMs) {
    if (!TerminateProcess(process, 0)) return false;
    const DWORD waited = WaitForSingleObject(process, timeoutMs);
    return waited != WAIT_TIMEOUT && waited != WAIT_FAILED;
}

} // namespace

bool terminateProcess(const HeldProcess& process, std::uint32_t timeoutMs) {
    // A held handle is this very process; its id cannot have passed on.
    if (process.handle != -1) return terminateAndWait(reinterpret_cast<HANDLE>(process.handle), timeoutMs);
    HANDLE opened = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process.id);
    if (opened == nullptr) return false;
    const bool ended = terminateAndWait(opened, timeoutMs);
    CloseHandle(opened);
    return ended;
}

} // namespace procguard
