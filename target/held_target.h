// The target between checks. The process the watchdog started is the target
// while it lives, whatever its image (a script runs as its interpreter, a
// wrapper may exec another program). A process found by its image path is
// held from then on, so that probing and terminating it can never reach a
// process that took over a recycled id, and so that a healthy check needs no
// look at the other processes of the machine.
#pragma once

#include <chrono>
#include <string>

#include "platform/held_process.h"

namespace procguard {

struct HeldTarget {
    HeldProcess process;  // id 0: nothing held
    bool started = false; // started by the watchdog (else found by its image path)
    // When the watchdog started or first found the process with this id
    // (also one it could not hold, found again at every check).
    ProcessId sinceId = 0;
    std::chrono::system_clock::time_point since{};
};

// The running target for this check: the held process while it has not
// ended (and, for one found by its image path, while that path still
// matches), else the first process of a lookup, held from now on. Id 0 when
// the target is not running; handle -1 for a process found but not held
// (it could not be opened), which is known for this check only.
HeldProcess locateTarget(const std::wstring& processName, HeldTarget& target);

// Holds the process a restart has just started (id 0: none was given) in
// place of the one held before.
void holdStartedTarget(HeldTarget& target, const HeldProcess& started);

void releaseTarget(HeldTarget& target);

} // namespace procguard
