#include "app/setup.h"

#include "config/config_file.h"
#include "console/console.h"

namespace procguard {

SetupOutcome runSetup(int argc, char** argv, WatchSettings& settings) {
    if (argc < 2) return runSetupDialogue(settings);
    const LoadResult loaded = loadConfig(programArgument(argc, argv, 1), settings);
    if (loaded.status == LoadStatus::Loaded) return SetupOutcome::Ready;
    printLine(loaded.message);
    // The usage helps only where the name itself may be wrong.
    if (loaded.status == LoadStatus::FileMissing) print("Usage: procguard [config-file]\n");
    // A console opened by a double-click or a drop on the program closes
    // when it ends; the message must stay until it has been read.
    waitForKey();
    return SetupOutcome::BadConfig;
}

} // namespace procguard
