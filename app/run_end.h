// The end of a run, however it comes: after the finish condition held, or on
// a stop request (during the setup, the start key wait or a check).
#pragma once

#include "app/surveillance.h"
#include "platform/privilege.h"

namespace procguard {

enum class RunEnd {
    Finished, // "All done now", a key, exit 0
    Stopped,  // "Stopped.", exit 4; the target goes on running
};

// Lets go of the target (it keeps running), lowers the debug privilege,
// reports the end and returns the exit code.
int endRun(RunEnd end, TokenHandle token, SurveillanceState& state);

} // namespace procguard
