// The debug privilege of a run: raised at the start, lowered at the end.
#pragma once

#include "platform/privilege.h"

namespace procguard {

// Obtains the thread token (0 when there is none: the caller exits) and
// enables the debug privilege, warning and waiting for a key when it cannot.
TokenHandle raiseDebugPrivilege();

// Switches the debug privilege off again; silent, failures ignored.
void lowerDebugPrivilege(TokenHandle token);

} // namespace procguard
