// The settings of a run: from the config file named on the command line, or
// from the setup dialogue when there is none.
#pragma once

#include "config/watch_settings.h"
#include "dialogue/setup_dialogue.h"

namespace procguard {

SetupOutcome runSetup(int argc, char** argv, WatchSettings& settings);

} // namespace procguard
