#include "app/target_check.h"

#include <string>

#include "app/report.h"
#include "health/health_probes.h"
#include "platform/clock.h"
#include "platform/dump.h"
#include "platform/stop.h"
#include "platform/terminate.h"
#include "platform/window.h"
#include "vars/variable.h"

namespace procguard {

namespace {

// A failed check: the probe that failed and why. The window probe has no
// name of its own: its failure is "not responding".
struct Failure {
    bool failed = false;
    const wchar_t* probe = nullptr; // nullptr: the window did not answer
    std::wstring reason{};
    ProcessId culprit = 0; // whose window did not answer: the target's, or one of its tree's
};

// A window that does not answer in time fails the check; for a target the
// watchdog started, a window of any process of its tree. A target without a
// window cannot be probed that way and passes; an answer counts only from
// the process still running afterwards: a held process that ended meanwhile
// may have left its id to another.
Failure probeWindow(const HeldProcess& target, std::uint32_t responseTimeout) {
    const WindowHandle window = findTargetWindow(target);
    if (window == 0) return {};
    if (windowAnswers(window, responseTimeout) && !processHasEnded(target)) return {};
    const ProcessId owner = windowOwner(window);
    return {true, nullptr, {}, owner != 0 ? owner : target.id};
}

Failure probeTarget(const WatchSettings& settings, SurveillanceState& state, const HeldProcess& target) {
    if (Failure window = probeWindow(target, settings.responseTimeout); window.failed) return window;
    const HealthChecks& health = settings.health;
    if (!hasHealthProbes(health)) return {};
    std::wstring commandLine;
    if (!health.healthCommand.empty()) {
        // The placeholders take the values of this very check.
        evaluateVariables(state.variables, state.restartCount);
        commandLine = substituteVariables(health.healthCommand, state.variables);
    }
    const HealthVerdict verdict =
        probeHealth(health, target, state.target.since, settings.responseTimeout, commandLine);
    if (verdict.probe == nullptr) return {};
    return {true, verdict.probe, verdict.reason, target.id};
}

// The first moments after a start made here belong to the target: a server
// that needs a while to open its port is not held to account for it.
bool inStartGrace(const WatchSettings& settings, const SurveillanceState& state) {
    return settings.health.startGrace != 0 && state.target.started &&
           monotonicMilliseconds() - state.lastStart.atMs < static_cast<std::int64_t>(settings.health.startGrace);
}

// The dump shows what hung: the process whose window did not answer, which
// behind a batch file or a script is a child of the held one.
void dumpBeforeTermination(const WatchSettings& settings, const SurveillanceState& state, const HeldProcess& target,
                           ProcessId culprit) {
    if (settings.restart.dumpFolder.empty()) return;
    HeldProcess child;
    std::wstring program = settings.processName;
    if (culprit != target.id) {
        child = holdProcess(culprit);
        readHeldImagePath(child, program);
    }
    const HeldProcess& dumped = culprit != target.id ? child : target;
    std::wstring file;
    const Result written = writeDump(dumped, settings.restart.dumpFolder, program, file);
    if (written.ok)
        report({.event = WatchEvent::Dumped, .restarts = state.restartCount, .pid = dumped.id, .file = file});
    else
        report({.event = WatchEvent::DumpFailed,
                .restarts = state.restartCount,
                .pid = dumped.id,
                .error = written.error});
    releaseProcess(child);
}

void terminateTarget(const WatchSettings& settings, const SurveillanceState& state, const HeldProcess& target,
                     ProcessId culprit) {
    dumpBeforeTermination(settings, state, target, culprit);
    if (terminateProcess(target, settings.responseTimeout)) {
        report({.event = WatchEvent::Terminated, .restarts = state.restartCount, .pid = target.id});
    } else {
        report({.event = WatchEvent::FailedToTerminate,
                .restarts = state.restartCount,
                .pid = target.id,
                .error = L"it could not be terminated, or did not end within " +
                         std::to_wstring(settings.responseTimeout) + L" ms"});
    }
}

} // namespace

bool checkRunningTarget(const WatchSettings& settings, SurveillanceState& state, const HeldProcess& target) {
    if (inStartGrace(settings, state)) return false;
    const Failure failure = probeTarget(settings, state, target);
    if (!failure.failed) {
        state.failures = 0;
        return false;
    }
    // A probe cut short by a stop says nothing about the target.
    if (failure.probe != nullptr && stopRequested()) return false;
    ++state.failures;
    const std::uint32_t limit = settings.health.failedChecks;
    report({.event = failure.probe != nullptr ? WatchEvent::Unhealthy : WatchEvent::NotResponding,
            .restarts = state.restartCount,
            .pid = target.id,
            .probe = failure.probe,
            .reason = failure.reason,
            .failures = state.failures,
            .failureLimit = limit});
    if (state.failures < limit) return false;
    state.failures = 0;
    terminateTarget(settings, state, target, failure.culprit);
    return true;
}

} // namespace procguard
