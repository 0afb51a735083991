#include "app/surveillance.h"

#include <algorithm>
#include <string>

#include "app/report.h"
#include "app/run_end.h"
#include "base/decimal.h"
#include "console/console.h"
#include "finish/finish_condition.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/spawn.h"
#include "platform/stop.h"
#include "platform/terminate.h"
#include "platform/window.h"

namespace procguard {

namespace {

// Probes a running target; true when it had to be terminated (or could not
// be, which restarts it all the same).
bool terminateIfHung(const HeldProcess& target, std::uint32_t responseTimeout, std::uint32_t restartCount) {
    const WindowHandle window = findProcessWindow(target.id);
    // A process without a window cannot be probed and counts as healthy. An
    // answer counts only from the process still running afterwards: a held
    // process that ended meanwhile may have left its id to another.
    if (window == 0) return false;
    if (windowAnswers(window, responseTimeout) && !processHasEnded(target)) return false;
    report({.event = WatchEvent::NotResponding, .restarts = restartCount, .pid = target.id});
    if (terminateProcess(target, responseTimeout)) {
        report({.event = WatchEvent::Terminated, .restarts = restartCount, .pid = target.id});
    } else {
        report({.event = WatchEvent::FailedToTerminate, .restarts = restartCount, .pid = target.id,
                .error = L"it could not be terminated, or did not end within " + std::to_wstring(responseTimeout) +
                         L" ms"});
    }
    return true;
}

// Whether this check restarts the target: it is missing, or was hung.
bool needsRestart(const WatchSettings& settings, const std::wstring& program, SurveillanceState& state) {
    const HeldProcess target = locateTarget(program, state.target);
    if (target.id == 0) {
        report({.event = WatchEvent::NotRunning, .restarts = state.restartCount});
        return true;
    }
    return terminateIfHung(target, settings.responseTimeout, state.restartCount);
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
    const Result started = isFolder(program) ? failure(L"It is a folder, not a program.")
                                             : startProcess(program, arguments, process);
    holdStartedTarget(state.target, process);
    report({.event = started.ok ? WatchEvent::Restarted : WatchEvent::FailedToRestart,
            .restarts = state.restartCount, .pid = process.id, .arguments = &arguments,
            .variables = &state.variables, .error = started.error, .program = &program});
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
    sleepMilliseconds(state.checkPeriod);
    if (stopRequested()) return false; // the loop ends the run
    collectEndedProcesses();
    const std::wstring& program = targetProgram(settings.processName, state.program);
    const bool restart = needsRestart(settings, program, state);
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
