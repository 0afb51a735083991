// A process held on to between checks: its id, and what the platform gives to
// reach that very process (a pidfd on Linux, a process handle on Windows). A
// later process that takes over a recycled id is never mistaken for it.
//
// A target the watchdog started is held with its tree: the processes it
// starts belong to it, and probing and terminating reach all of them
// (Windows: a job object of its own; Linux: its process group, which
// startProcess makes the target's own). A found process is its own process
// only. A descendant that leaves the tree (setsid, a job breakaway) is out of
// reach.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/process.h"

namespace procguard {

struct HeldProcess {
    ProcessId id = 0;          // 0: no process
    std::intptr_t handle = -1; // the backend's; -1: known by its id only (it could not be opened)
    std::intptr_t tree = -1;   // Windows: the job handle; Linux: the process group; -1: no tree
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

// The ids of the processes of a held target's tree that are still running,
// the held process first where it still runs: the job's processes
// (Windows), the members of the process group that are not zombies
// (Linux). Just the process itself for one without a tree, also once it has
// ended; empty for id 0.
std::vector<ProcessId> listTreeProcesses(const HeldProcess& process);

// Whether process `id` is running and one of the held target's tree (the
// held process itself included), asked of that one process only: Windows,
// whether it is in the job; Linux, whether its process group is the tree's.
bool treeContains(const HeldProcess& process, ProcessId id);

// Closes what holdProcess or startProcess opened (the job handle too; on
// Linux also collecting a started process that has ended) and leaves
// `process` empty. The process and its tree go on.
void releaseProcess(HeldProcess& process);

} // namespace procguard
