#include "app/surveillance.h"

#include <string>

#include "app/event_log.h"
#include "app/exit_codes.h"
#include "app/startup.h"
#include "base/decimal.h"
#include "console/console.h"

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
    print("Process not responding, terminating...\n");
    logEvent({.event = WatchEvent::NotResponding, .restarts = restartCount, .pid = target.id});
    if (terminateProcess(target, responseTimeout)) {
        print("Process terminated, restarting...\n");
        logEvent({.event = WatchEvent::Terminated, .restarts = restartCount, .pid = target.id});
    } else {
        print("Failed to terminate process. Restarting anyway, you may want to watch this...\n");
        logEvent({.event = WatchEvent::FailedToTerminate, .restarts = restartCount, .pid = target.id,
                  .error = L"it could not be terminated, or did not end within " + std::to_wstring(responseTimeout) +
                           L" ms"});
    }
    return true;
}

void restartTarget(const WatchSettings& settings, std::uint32_t restartCount, HeldTarget& target) {
    if (!settings.variables.empty()) {
        print("Adjusting variable values:\n");
        for (const Variable& variable : settings.variables)
            print(variable.name + L" : " + formatDecimal(variable.value) + L"\n");
    }
    const std::wstring arguments = substituteVariables(settings.commandParams, settings.variables);
    HeldProcess process;
    // The shell would open a folder in a file manager window at every check.
    const OsResult started = isFolder(settings.processName)
                                 ? OsResult{false, settings.processName + L" is a folder, not a program."}
                                 : startProcess(settings.processName, arguments, process);
    holdStartedTarget(target, process);
    logEvent({.event = started.ok ? WatchEvent::Restarted : WatchEvent::FailedToRestart, .restarts = restartCount,
              .pid = process.id, .arguments = &arguments, .variables = &settings.variables, .error = started.error});
    const std::wstring runs = std::to_wstring(restartCount) + L" runs)";
    if (started.ok)
        print(L"Process restarted (" + runs + L".\n");
    else
        print(L"Failed to restart process (" + runs + L": " + started.error + L"\n");
}

} // namespace

bool runCheck(WatchSettings& settings, SurveillanceState& state) {
    sleepMilliseconds(settings.checkPeriod);
    if (stopRequested()) return false; // the loop ends the run
    collectEndedProcesses();
    bool restart = false;
    const HeldProcess target = locateTarget(settings.processName, state.target);
    if (target.id == 0) {
        print("Process not running, restarting...\n");
        logEvent({.event = WatchEvent::NotRunning, .restarts = state.restartCount});
        restart = true;
    } else {
        restart = terminateIfHung(target, settings.responseTimeout, state.restartCount);
    }
    // The count covers this check's restart before the variables see it, so
    // the first restart evaluates with 1. A failed start counts too: the
    // finish conditions count attempts.
    if (restart) ++state.restartCount;
    evaluateVariables(settings.variables, state.restartCount);
    if (restart) restartTarget(settings, state.restartCount, state.target);
    return isFinishConditionMet(settings.finishCondition, settings.variables, state.restartCount);
}

int runSurveillance(WatchSettings& settings, TokenHandle token) {
    print("Ready to go. Press any key to start process surveillance.\n");
    waitForKey();
    if (stopRequested()) return endStoppedRun(token, 0);
    print("Surveillance started. You may relax now, have a nice day!\n");
    logEvent({.event = WatchEvent::SurveillanceStarted});
    SurveillanceState state;
    while (!runCheck(settings, state)) {
        if (stopRequested()) break;
    }
    // The target goes on running; only the watchdog's hold on it ends.
    releaseTarget(state.target);
    if (stopRequested()) return endStoppedRun(token, state.restartCount);
    runEndOfRun(token);
    logEvent({.event = WatchEvent::Finished, .restarts = state.restartCount, .variables = &settings.variables});
    print("All done now. Press any key to exit...");
    waitForKey();
    return kExitFinished;
}

} // namespace procguard
