#include "app/surveillance.h"

#include <algorithm>
#include <string>

#include "app/report.h"
#include "app/run_end.h"
#include "app/target_check.h"
#include "base/decimal.h"
#include "console/console.h"
#include "finish/finish_condition.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/spawn.h"
#include "platform/stop.h"

namespace procguard {

namespace {

// The wait before a check: the check period, cut short by a stop, by the end
// of the held target when the settings ask for that, and by the moment a
// delayed start becomes due.
void waitForNextCheck(const WatchSettings& settings, const SurveillanceState& state) {
    std::uint32_t ms = state.checkPeriod;
    if (state.backoff.waiting) {
        const std::int64_t due = state.backoff.startAtMs - monotonicMilliseconds();
        ms = due <= 0 ? 0 : static_cast<std::uint32_t>(std::min<std::int64_t>(due, ms));
    }
    if (settings.restart.restartOnExit && state.target.process.id != 0)
        waitForCheckPeriod(ms, state.target.process);
    else
        sleepMilliseconds(ms);
}

// Tells the delay of the next start, if the last one came to a quick end.
void delayIfQuick(const WatchSettings& settings, SurveillanceState& state, bool terminated) {
    std::wstring why;
    const std::uint32_t delay = delayNextStart(state.backoff, settings.restart, state.checkPeriod, state.lastStart,
                                               terminated, monotonicMilliseconds(), why);
    if (delay != 0)
        report({.event = WatchEvent::RestartDelayed, .restarts = state.restartCount, .reason = why, .delay = delay});
}

// Whether this check starts the target: it is missing, or it failed its
// checks and was terminated, and no delay holds the start back.
bool needsStart(const WatchSettings& settings, const std::wstring& program, SurveillanceState& state) {
    const HeldProcess target = locateTarget(program, state.target);
    if (target.id == 0) {
        // A start that waits was decided, and told, when the target went missing.
        if (!state.backoff.waiting) {
            report({.event = WatchEvent::NotRunning, .restarts = state.restartCount});
            delayIfQuick(settings, state, false);
        }
        return delayedStartIsDue(state.backoff, monotonicMilliseconds());
    }
    noteTargetRunning(state.backoff, settings.restart, state.lastStart, monotonicMilliseconds());
    if (!checkRunningTarget(settings, state, target)) return false;
    delayIfQuick(settings, state, true);
    return delayedStartIsDue(state.backoff, monotonicMilliseconds());
}

void restartTarget(const WatchSettings& settings, const std::wstring& program, SurveillanceState& state) {
    if (!state.variables.empty()) {
        print("Adjusting variable values:\n");
        for (const Variable& variable : state.variables)
            print(variable.name + L" : " + formatDecimal(variable.value) + L"\n");
    }
    const std::wstring arguments = substituteVariables(settings.commandParams, state.variables);
    HeldProcess process;
    // The shell would open a folder in a file manager window at every check.
    const Result started =
        isFolder(program) ? failure(L"It is a folder, not a program.") : startProcess(program, arguments, process);
    state.lastStart = {true, !started.ok, monotonicMilliseconds()};
    state.failures = 0;
    holdStartedTarget(state.target, process);
    report({.event = started.ok ? WatchEvent::Restarted : WatchEvent::FailedToRestart,
            .restarts = state.restartCount,
            .pid = process.id,
            .arguments = &arguments,
            .variables = &state.variables,
            .error = started.error,
            .program = &program});
}

} // namespace

SurveillanceState startingState(const WatchSettings& settings) {
    SurveillanceState state;
    state.variables = settings.variables;
    for (Variable& variable : state.variables) variable.value = 0;
    state.checkPeriod = std::max(settings.checkPeriod, kShortestCheckPeriod);
    return state;
}

bool runCheck(const WatchSettings& settings, SurveillanceState& state) {
    waitForNextCheck(settings, state);
    if (stopRequested()) return false; // the loop ends the run
    collectEndedProcesses();
    const std::wstring& program = targetProgram(settings.processName, state.program);
    const bool restart = needsStart(settings, program, state);
    // The count covers this check's restart before the variables see it, so
    // the first restart evaluates with 1. A failed start counts too: the
    // finish conditions count attempts.
    if (restart) ++state.restartCount;
    evaluateVariables(state.variables, state.restartCount);
    if (restart) restartTarget(settings, program, state);
    return isFinishConditionMet(settings.finishCondition, state.variables, state.restartCount);
}

int runSurveillance(const WatchSettings& settings, TokenHandle token) {
    // A loaded file keeps its value; only this run checks less often.
    if (settings.checkPeriod < kShortestCheckPeriod)
        print(L"A check period of " + std::to_wstring(settings.checkPeriod) + L" ms would keep a processor busy; " +
              L"checking every " + std::to_wstring(kShortestCheckPeriod) + L" ms instead.\n");
    print("Ready to go. Press any key to start process surveillance.\n");
    waitForKey();
    SurveillanceState state = startingState(settings);
    if (stopRequested()) return endRun(RunEnd::Stopped, token, state);
    report({.event = WatchEvent::SurveillanceStarted});
    while (!runCheck(settings, state)) {
        if (stopRequested()) break;
    }
    return endRun(stopRequested() ? RunEnd::Stopped : RunEnd::Finished, token, state);
}

} // namespace procguard
