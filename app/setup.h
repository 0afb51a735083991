// The settings of a run: from the config file named on the command line, or
// from the setup dialogue when there is none.
#pragma once

#include <optional>
#include <string>

#include "config/watch_settings.h"
#include "dialogue/setup_dialogue.h"

namespace procguard {

SetupOutcome runSetup(const std::optional<std::wstring>& configFile, WatchSettings& settings);

} // namespace procguard
