#include "dialogue/setup_dialogue.h"

#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/profile.h"
#include "console/console.h"
#include "dialogue/finish_dialogue.h"
#include "dialogue/path_answer.h"
#include "dialogue/variable_dialogue.h"
#include "target/process_lookup.h"

namespace procguard {

namespace {

// Menu choice 3. A file that cannot be loaded is named, and the user may
// type another name or an empty line to give up.
SetupOutcome loadFromMenu(WatchSettings& settings) {
    promptForLine("Enter name of the config file to load: ");
    for (bool retry = false;; retry = true) {
        std::wstring fileName;
        if (readPathLine(fileName) == ReadStatus::Ended) return SetupOutcome::InputEnded;
        if (retry && fileName.empty()) return SetupOutcome::BadConfig;
        const LoadResult loaded = loadConfig(fileName, settings);
        if (loaded.status == LoadStatus::Loaded) {
            print("Config loaded.\n");
            return SetupOutcome::Ready;
        }
        printLine(loaded.outcome.error);
        promptForLine("Enter another config file name, or nothing to quit: ");
    }
}

// Menu choice 2: pick the target from the running processes.
SetupOutcome pickRunningProcess(WatchSettings& settings) {
    std::vector<std::wstring> processes;
    listRunningProcesses(processes);
    if (processes.empty()) {
        // Without a list no index can ever be right; asking for one would never end.
        print("No running process could be listed.\n");
        promptForLine("Enter .exe file path: ");
        return readPathLine(settings.processName) == ReadStatus::Ended ? SetupOutcome::InputEnded : SetupOutcome::Ready;
    }
    print("Currently running processes:\n");
    for (std::size_t i = 0; i < processes.size(); ++i) print(L"[" + std::to_wstring(i) + L"] " + processes[i] + L"\n");
    std::uint32_t index = askUnsignedNumber("Enter the index of the desired process: ");
    while (!consoleInputEnded() && index >= processes.size()) index = askUnsignedNumber("Wrong index, try again: ");
    if (consoleInputEnded()) return SetupOutcome::InputEnded;
    settings.processName = processes[index];
    return SetupOutcome::Ready;
}

// After a save that failed the question comes again, so that the settings
// just typed are lost only when the user says no (or the input ends).
void offerToSave(const WatchSettings& settings) {
    for (;;) {
        print("Configuration complete. Save configuration for reuse? (y/n)\n");
        wchar_t answer = 0;
        if (readCharacter(answer) != ReadStatus::Ok || (answer != L'y' && answer != L'Y')) return;
        promptForLine("Enter configuration file name: ");
        std::wstring fileName;
        if (readPathLine(fileName) != ReadStatus::Ok) return;
        const Result saved = saveConfig(fileName, settings);
        if (saved.ok) return;
        printLine(L"The configuration could not be saved to " + resolveConfigPath(fileName) + L": " + saved.error);
    }
}

} // namespace

SetupOutcome runSetupDialogue(WatchSettings& settings) {
    print("Select the file path of the process to look for.\n[1] Enter manually.\n"
          "[2] Select from running processes\n[3] Load config file\nYour Choice: ");
    wchar_t choice = 0;
    if (readCharacter(choice) == ReadStatus::Ended) return SetupOutcome::InputEnded;
    if (choice == L'3') return loadFromMenu(settings);
    if (choice == L'1') {
        promptForLine("Enter .exe file path: ");
        if (readPathLine(settings.processName) == ReadStatus::Ended) return SetupOutcome::InputEnded;
    } else {
        const SetupOutcome picked = pickRunningProcess(settings);
        if (picked != SetupOutcome::Ready) return picked;
    }

    print("Enter command line arguments to start the programm with when it has stopped running.\n"
          "You may use variables in these arguments to be automatically replaced by a variable value.\n"
          "Variables should look like this: <VarName> where VarName is the name you wish to give to "
          "the variable.\n");
    promptForLine("Arguments: ");
    if (readLine(settings.commandParams) == ReadStatus::Ended) return SetupOutcome::InputEnded;
    scanPlaceholders(settings.commandParams, settings.variables);
    defineVariables(settings.variables);
    if (consoleInputEnded()) return SetupOutcome::InputEnded;

    settings.checkPeriod =
        askUnsignedNumber("This tool will periodically check whether the target process is still running.\n"
                          "Enter the time to wait between checks (in ms): ");
    settings.responseTimeout =
        askUnsignedNumber("If the target process is running, we will also check if it is still responsive.\n"
                          "If it does not respond in time, it will be terminated or restarted.\n"
                          "Enter response timeout (in ms): ");
    if (consoleInputEnded()) return SetupOutcome::InputEnded;
    defineFinishCondition(settings.finishCondition);
    if (consoleInputEnded()) return SetupOutcome::InputEnded;
    offerToSave(settings);
    return consoleInputEnded() ? SetupOutcome::InputEnded : SetupOutcome::Ready;
}

} // namespace procguard
