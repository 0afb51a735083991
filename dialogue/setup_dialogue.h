// The setup dialogue: the menu, the target, the argument template and its
// variables, the periods, the finish condition and the save question, or a
// config file chosen from the menu.
#pragma once

#include "config/watch_settings.h"

namespace procguard {

enum class SetupOutcome {
    Ready,      // the settings are complete; surveillance may start
    InputEnded, // the console input ended during the dialogue
    BadConfig,  // no usable config file could be loaded (command line, or given up at the menu)
};

SetupOutcome runSetupDialogue(WatchSettings& settings);

} // namespace procguard
