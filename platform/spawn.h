// Starting the target.
#pragma once

#include <string>

#include "platform/held_process.h"
#include "platform/result.h"

namespace procguard {

// Starts `path` with the argument line `arguments` (Windows command-line
// quoting rules on every platform) and holds the started process in
// `started` where the platform gives one (id 0 where it does not: a
// document handed to a program that was already running). Fails with the
// system's reason when the start failed.
//
// The started process is held with its tree. Windows: it is put into a job
// object of its own right after the start, and so are the processes it
// started before that (found by parent id and creation time); the job
// outlives the watchdog, as the target does. Where no job can be made or the
// process cannot join it (it ended at once, or the system refused nesting),
// `tree` stays -1 and only the process itself is held. Linux: the target
// leads a session and process group of its own, and the first start makes
// the watchdog the subreaper of its descendants, so that it collects the
// orphans of a tree it terminates.
Result startProcess(const std::wstring& path, const std::wstring& arguments, HeldProcess& started);

} // namespace procguard
