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
// true when the finish condition holds afterwards.
bool runCheck(WatchSettings& settings, SurveillanceState& state);

// The whole run from "Ready to go" to "All done now"; returns the exit code.
int runSurveillance(WatchSettings& settings, TokenHandle token);

} // namespace procguard
