// The surveillance loop: look the target up every check period, probe it,
// terminate it when hung, start it when missing, until the finish condition
// holds.
#pragma once

#include <cstdint>

#include "config/watch_settings.h"
#include "platform/platform.h"
#include "target/held_target.h"

namespace procguard {

struct SurveillanceState {
    std::uint32_t restartCount = 0; // never reset during a run
    HeldTarget target;              // the target between checks
};

// One check: sleep, look-up, probe, termination, evaluation, restart. Returns
// true when the finish condition holds afterwards; false, without checking,
// when a stop was requested during the sleep.
bool runCheck(WatchSettings& settings, SurveillanceState& state);

// The whole run from "Ready to go" to "All done now", or to "Stopped." when
// a stop is requested; returns the exit code. A stop during the last key
// wait only ends that wait.
int runSurveillance(WatchSettings& settings, TokenHandle token);

} // namespace procguard
