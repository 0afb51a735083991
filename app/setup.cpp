#include "app/setup.h"

#include "app/command_line.h"
#include "config/config_file.h"
#include "console/console.h"

namespace procguard {

SetupOutcome runSetup(const std::optional<std::wstring>& configFile, WatchSettings& settings) {
    if (!configFile) return runSetupDialogue(settings);
    const LoadResult loaded = loadConfig(*configFile, settings);
    if (loaded.status == LoadStatus::Loaded) return SetupOutcome::Ready;
    printLine(loaded.message);
    print(kUsageLine);
    return SetupOutcome::BadConfig;
}

} // namespace procguard
