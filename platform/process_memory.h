// The memory a target holds, for the memory limit of its health.
#pragma once

#include <cstdint>

#include "platform/held_process.h"

namespace procguard {

// The resident memory of a held process in bytes: Linux: the resident pages
// of /proc/PID/statm times the page size (the VmRSS figure); Windows: the
// working set, read through the held handle. False when it cannot be read:
// the process is known by its id only (not held), has ended, or its counters
// are closed to this user.
bool readResidentMemory(const HeldProcess& process, std::uint64_t& bytes);

} // namespace procguard
