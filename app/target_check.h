// The check of a running target: its window, then the probes of its health,
// failures counted in a row, and the dump and termination of a target that
// failed too often.
#pragma once

#include "app/surveillance.h"
#include "platform/held_process.h"

namespace procguard {

// Probes `target`, the running target of this check; true when it failed
// as many checks in a row as the settings allow and was terminated (or could
// not be, which restarts it all the same). A stop request during a probe
// leaves the count as it was.
bool checkRunningTarget(const WatchSettings& settings, SurveillanceState& state, const HeldProcess& target);

} // namespace procguard
