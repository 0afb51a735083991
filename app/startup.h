// The start and end of a run: the thread token and the debug privilege.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace procguard {

// Obtains the thread token (0 when there is none: the caller exits) and
// enables the debug privilege, warning and waiting for a key when it cannot.
TokenHandle runStartup();

// Switches the debug privilege off again; silent, failures ignored.
void runEndOfRun(TokenHandle token);

// Ends a run that was asked to stop: the end of run, the "stopped" event
// with the restart count, and "Stopped." on the console. Returns the exit
// code. The target is left running.
int endStoppedRun(TokenHandle token, std::uint32_t restartCount);

} // namespace procguard
