#include "app/run_end.h"

#include "app/exit_codes.h"
#include "app/privilege.h"
#include "app/report.h"
#include "console/console.h"

namespace procguard {

int endRun(RunEnd end, TokenHandle token, SurveillanceState& state) {
    releaseTarget(state.target);
    lowerDebugPrivilege(token);
    if (end == RunEnd::Stopped) {
        report({.event = WatchEvent::Stopped, .restarts = state.restartCount});
        return kExitStopped;
    }
    report({.event = WatchEvent::Finished, .restarts = state.restartCount, .variables = &state.variables});
    waitForKey();
    return kExitFinished;
}

} // namespace procguard
