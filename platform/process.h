// The processes of the machine: which run, and what each one runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace procguard {

using ProcessId = std::uint32_t; // 0 is never a process: it means "none"

// Replaces `ids` with the ids of all running processes in the platform's
// order. Never stops at a fixed count: the buffer grows until every id fits.
// Returns false (and leaves `ids` empty) when the enumeration failed.
bool enumerateProcessIds(std::vector<ProcessId>& ids);

// Full path of the executable image of a process; false when it cannot be
// read. Paths of any length the platform allows are read whole.
bool readProcessImagePath(ProcessId id, std::wstring& path);

// Whether a process is a thread of the kernel, which runs no program at all
// (Linux: PF_KTHREAD in /proc/PID/stat). A zombie or another user's process
// is no kernel thread; Windows has none to tell.
bool isKernelThread(ProcessId id);

// The form in which two image paths are compared: Windows folds each code
// unit with towlower; Linux file names are case-sensitive, so a path is
// compared as it stands.
std::wstring foldPathCase(const std::wstring& path);

// The file a start of `path` runs, named as process images are: absolute
// against the current directory, with every symbolic link resolved (Linux,
// realpath) or in its full long form (Windows, GetFullPathNameW and
// GetLongPathNameW). False when it cannot be resolved (the file is missing).
bool resolveTargetPath(const std::wstring& path, std::wstring& resolved);

// The processes this watchdog started are its children on Linux: once ended
// they stay zombies until collected. So are the descendants of its targets
// that are orphaned (the watchdog is their subreaper, see startProcess).
// Collects those that have ended (never waits, never takes the exit of a
// child other code started and waits for); nothing to do on Windows. Every
// check calls it first.
void collectEndedProcesses();

} // namespace procguard
