// Terminating a process on Windows.
#include "platform/platform.h"

#include <windows.h>

namespace procguard {

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

} // namespace procguard
