// Ending a hung target.
#pragma once

#include <cstdint>

#include "platform/held_process.h"

namespace procguard {

// Terminates a process and waits at most `timeoutMs` for it to end. True when
// it has ended within that time. A held process is terminated through what
// holds it; one known by its id only is opened by that id first. A process
// held with its tree is terminated with all of it (Windows:
// TerminateJobObject; Linux: SIGKILL to the process group, the leader through
// its pidfd), and true means every process of the tree has ended (Linux:
// zombies whose parent is not the watchdog count as ended; those of the
// watchdog are collected).
bool terminateProcess(const HeldProcess& process, std::uint32_t timeoutMs);

} // namespace procguard
