// The processes this watchdog started itself, and the orphans of their trees
// it adopts as their subreaper. They are its children, so once they exit
// they stay zombies until it collects them; a watchdog that restarts a
// crashing target all day must collect every one of them.
//
// Only the pids recorded here and the members of the targets' trees are ever
// waited for: waitpid(-1) would also swallow the exit of children that other
// code is waiting for.
#pragma once

#include <sys/types.h>

namespace procguard {

void rememberChild(pid_t pid);

// Makes the watchdog the subreaper of its descendants (once), so that the
// orphans of a target's tree become its children rather than init's, and
// are collected here even where init collects nothing.
void adoptOrphansOfTargets();

// Collects every remembered child that has exited, and every exited child
// outside the watchdog's own process group (adopted orphans: other code
// starts its children in that group); never blocks.
void reapExitedChildren();

// Collects `pid` if it is a remembered child that has exited. True when it
// was collected now; false for a child still running and for any process
// that is not ours.
bool reapChild(pid_t pid);

bool isRememberedChild(pid_t pid);

// Collects every child in process group `group` that has exited.
void reapGroup(pid_t group);

// Whether `group` can still be a target's tree: its leader was not collected
// yet, or a child of the watchdog is in it. Once the whole tree is gone, the
// id may name an unrelated group.
bool groupMayBeOurs(pid_t group);

} // namespace procguard
