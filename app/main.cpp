// procguard: keeps one program running and answering.
#include "app/command_line.h"
#include "app/event_log.h"
#include "app/exit_codes.h"
#include "app/privilege.h"
#include "app/run_end.h"
#include "app/setup.h"
#include "app/surveillance.h"
#include "console/console.h"
#include "platform/entry.h"
#include "platform/stop.h"

int main(int argc, char** argv) {
    using namespace procguard;
    initializePlatform();
    const CommandLine commandLine = parseCommandLine(programArguments(argc, argv));
    if (commandLine.action != CommandAction::Watch) return answerCommandLine(commandLine);
    // Before the privilege warning, whose key wait is the first.
    if (commandLine.noWait) skipKeyWaits();
    const TokenHandle token = raiseDebugPrivilege();
    if (token == 0) return kExitNoThreadToken;
    openEventLog(commandLine.eventsFile);
    WatchSettings settings;
    const SetupOutcome outcome = runSetup(commandLine.configFile, settings);
    // A stop ends the console input, and with it the dialogue.
    if (stopRequested()) {
        SurveillanceState nothingWatched;
        return endRun(RunEnd::Stopped, token, nothingWatched);
    }
    switch (outcome) {
    case SetupOutcome::Ready: break;
    case SetupOutcome::InputEnded:
        print("\nThe console input ended before the setup was complete; nothing to watch.\n");
        return kExitInputEnded;
    case SetupOutcome::BadConfig: return kExitBadConfig;
    }
    return runSurveillance(settings, token);
}
