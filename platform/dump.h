// A memory dump of a hung or unhealthy target, written before it is
// terminated, so that what hung it can still be looked at.
#pragma once

#include <cstdint>
#include <string>

#include "platform/held_process.h"
#include "platform/result.h"

namespace procguard {

// The longest a dump may take; then writeDump gives up and says so.
inline constexpr std::uint32_t kDumpTimeLimitMs = 30000;

// Writes a memory dump of a held process into `folder` (created when
// missing), named after the file name of `program` without its extension,
// the process id and the UTC time: render_4242_20261209T143005Z.dmp
// (Windows) or .core (Linux), and sets `file` to its full path. Takes at most
// kDumpTimeLimitMs; a stop request cuts it short. Either way the caller
// terminates the process afterwards.
//
// Windows: MiniDumpWriteDump with thread and handle data; the process goes
// on running. A dump that is cut short goes on in the background until the
// process ends, and its file is deleted.
//
// Linux: the kernel's own core dump, which ENDS THE PROCESS: its core limit
// is raised (prlimit), it gets SIGABRT (and SIGCONT, in case it is stopped),
// and once it has ended its core file is moved from where
// /proc/sys/kernel/core_pattern put it into the folder. Where the pattern
// hands cores to a program ('|', e.g. systemd-coredump), the process is ended
// the same way, and the failure says that the handler took the core. A
// process that ignores or blocks SIGABRT is left running, with the reason.
// Only the held process is dumped, not the rest of its tree.
Result writeDump(const HeldProcess& process, const std::wstring& folder, const std::wstring& program,
                 std::wstring& file);

} // namespace procguard
