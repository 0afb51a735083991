#include "app/setup.h"

#include "config/config_file.h"
#include "console/console.h"

namespace procguard {

SetupOutcome runSetup(int argc, char** argv, WatchSettings& settings) {
    if (argc < 2) return runSetupDialogue(settings);
    const LoadResult loaded = loadConfig(programArgument(argc, argv, 1), settings);
    if (loaded.status == LoadStatus::Loaded) return SetupOutcome::Ready;
    printLine(loaded.message);
    print("Usage: procguard [config-file]\n");
    return SetupOutcome::BadConfig;
}

} // namespace procguard
