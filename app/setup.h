// Start-up and the setup of one run: privileges, then the settings from the
// command line's config file or from the console dialogue.
#pragma once

#include "app/watch_settings.h"
#include "platform/platform.h"

namespace procguard {

enum class SetupOutcome {
    Ready,       // the settings are complete; surveillance may start
    InputEnded,  // the console input ended during the dialogue
    BadConfig,   // the command line's config file could not be loaded
};

// Obtains the thread token (0 when there is none: the caller exits) and
// enables the debug privilege, warning and waiting for a key when it cannot.
TokenHandle runStartup();

// Fills `settings` from the config file named by the first argument, or from
// the dialogue when there is none.
SetupOutcome runSetup(int argc, char** argv, WatchSettings& settings);

// The dialogue alone (menu, target, arguments, variables, periods, finish
// condition, save question).
SetupOutcome runSetupDialogue(WatchSettings& settings);

// Switches the debug privilege off again; silent, failures ignored.
void runEndOfRun(TokenHandle token);

} // namespace procguard
