// The dialogue run of dialogue_run.h with the Linux watchdog.
#include "dialogue_run.h"
#include "posix/process_support.h"
#include "posix/watchdog_run_support.h"

namespace procguard {
namespace {

TEST(DialogueRun, VariablesReachTheTargetAndAVariableConditionEndsTheRun) {
    test::TempFolder work;
    const std::string recorder = test::copyTestProgram("argv_recorder", work.path);
    test::checkDialogueRunAndItsSavedFile(
        work.path, recorder, [&](const std::string& input, const std::string& config) {
            const test::WatchdogRun run = test::runWatchdog(
                work.path, config.empty() ? std::vector<std::string>{} : std::vector<std::string>{config}, input,
                std::chrono::seconds(60));
            return test::WatchdogOutcome{!run.stillRunning && run.started, run.exitCode, run.output};
        });
}

} // namespace
} // namespace procguard
