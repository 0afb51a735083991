// The processes this watchdog started itself. They are its children, so
// once they exit they stay zombies until it collects them; a watchdog that
// restarts a crashing target all day must collect every one of them.
//
// Only the pids recorded here are ever waited for: waitpid(-1) would also
// swallow the exit of children that other code is waiting for.
#pragma once

#include <sys/types.h>

namespace procguard {

void rememberChild(pid_t pid);

// Collects every remembered child that has exited; never blocks.
void reapExitedChildren();

// Collects `pid` if it is a remembered child that has exited. True when it
// was collected now; false for a child still running and for any process
// that is not ours.
bool reapChild(pid_t pid);

bool isRememberedChild(pid_t pid);

} // namespace procguard
