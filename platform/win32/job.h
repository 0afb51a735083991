// Job objects: how a target the watchdog started is held with its tree.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/platform.h"

namespace procguard {

// Replaces `ids` with the ids of the processes in `job` that have not
// ended, as the system lists them; false (and `ids` empty) when the query
// fails.
bool listJobProcessIds(HANDLE job, std::vector<ProcessId>& ids);

// Puts `process` into `job`, and with it the processes it started before
// that, which the job did not catch: those whose parent is in the job and
// that were created after that parent (so that a recycled parent id is never
// taken for a parent), round after round until no new one turns up. False
// when `process` itself cannot join.
bool assignWithEarlyChildren(HANDLE job, HANDLE process);

} // namespace procguard
