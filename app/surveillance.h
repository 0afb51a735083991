// The surveillance loop: look the target up every check period, probe it,
// terminate it when hung, start it when missing, until the finish condition
// holds.
#pragma once

#include <cstdint>

#include "config/watch_settings.h"
#include "platform/privilege.h"
#include "restart/backoff.h"
#include "target/held_target.h"
#include "target/target_program.h"
#include "vars/variable.h"

namespace procguard {

// The shortest check period a run keeps: a shorter one would check without
// pause and keep a processor busy.
inline constexpr std::uint32_t kShortestCheckPeriod = 10;

// What a run knows beyond its settings, which it never changes.
struct SurveillanceState {
    std::uint32_t restartCount = 0; // never reset during a run
    VariableList variables;         // the settings' variables, with their current values
    HeldTarget target;              // the target between checks
    TargetProgram program;          // what the target path names
    std::uint32_t checkPeriod = 0;  // ms slept before each check
    std::uint32_t failures = 0;     // checks failed in a row by the running target
    LastStart lastStart;            // the last start the watchdog made
    Backoff backoff;                // the wait of the next start after quick ends
};

// The state before the first check: no restart yet, every variable at 0,
// the settings' check period raised to kShortestCheckPeriod.
SurveillanceState startingState(const WatchSettings& settings);

// One check: sleep, look-up, probe, termination, evaluation, restart. Returns
// true when the finish condition holds afterwards; false, without checking,
// when a stop was requested during the sleep.
bool runCheck(const WatchSettings& settings, SurveillanceState& state);

// The whole run from "Ready to go" to "All done now", or to "Stopped." when
// a stop is requested; returns the exit code. A stop during the last key
// wait only ends that wait. A check period that is raised is said first.
int runSurveillance(const WatchSettings& settings, TokenHandle token);

} // namespace procguard
