// Resident memory on Windows: the working set.
#include "platform/process_memory.h"

#include <windows.h>
#include <psapi.h>

namespace procguard {

bool readResidentMemory(const HeldProcess& process, std::uint64_t& bytes) {
    if (process.handle == -1) return false;
    const HANDLE handle = reinterpret_cast<HANDLE>(process.handle);
    // An ended process still answers, with what it held last.
    if (WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return false;
    // The held handle has query-limited access, which is enough since
    // Windows 8.1; a handle with synchronize access only is refused.
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!K32GetProcessMemoryInfo(handle, &counters, sizeof counters)) return false;
    bytes = counters.WorkingSetSize;
    return true;
}

} // namespace procguard
