// A process held on to between checks: its id, and what the platform gives to
// reach that very process (a pidfd on Linux, a process handle on Windows). A
// later process that takes over a recycled id is never mistaken for it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/process.h"

namespace procguard {

struct HeldProcess {
    ProcessId id = 0;          // 0: no process
    std::intptr_t handle = -1; // the backend's; -1: known by its id only (it could not be opened)
};

// Opens process `id` to hold it (Linux: pidfd_open; Windows: OpenProcess for
// synchronize, query and terminate, with less access where that is refused).
// The result has handle -1 when the process cannot be opened.
HeldProcess holdProcess(ProcessId id);

// True once a held process has ended; false for one known by its id only.
bool processHasEnded(const HeldProcess& process);

// Image path of a held process, read through what holds it; false when it
// cannot be read or the process has ended.
bool readHeldImagePath(const HeldProcess& process, std::wstring& path);

// True when the held process is still running the very file `path` names
// now, by the file system's identity of the two (Linux: device and inode);
// false when it is not, when that cannot be told, or when the process has
// ended. A quick answer for every check of a held target: false makes the
// caller compare image paths instead (Windows always answers false, its
// path calls being cheap).
bool heldProcessRuns(const HeldProcess& process, const std::wstring& path);

// Closes what holdProcess or startProcess opened (on Linux also collecting a
// started process that has ended) and leaves `process` empty. The process
// itself goes on.
void releaseProcess(HeldProcess& process);

} // namespace procguard
