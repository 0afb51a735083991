#include "app/setup.h"

#include "app/command_line.h"
#include "config/config_file.h"
#include "console/console.h"

namespace procguard {

SetupOutcome runSetup(const std::optional<std::wstring>& configFile, WatchSettings& settings) {
    if (!configFile) return runSetupDialogue(settings);
    const LoadResult loaded = loadConfig(*configFile, settings);
    if (loaded.status == LoadStatus::Loaded) return SetupOutcome::Ready;
    printLine(loaded.outcome.error);
    // The usage helps only where the name itself may be wrong.
    if (loaded.status == LoadStatus::FileMissing) print(kUsageLine);
    // A console opened by a double-click or a drop on the program closes
    // when it ends; the message must stay until it has been read.
    waitForKey();
    return SetupOutcome::BadConfig;
}

} // namespace procguard
