#include "app/setup.h"

#include <string>
#include <vector>

#include "app/process_lookup.h"
#include "config/config_file.h"
#include "platform/console.h"

namespace procguard {

namespace {

const wchar_t kPrivilegeWarning[] =
    L"ERROR: Failed to acquire debug privileges.\n"
    L"This will prevent the tool from detecting some processes and from automatically terminating "
    L"the target process when it is hung.\n"
    L"Try running the tool as an administrator to fix this.\n"
    L"Press any key to ignore this and continue anyway.\n";

LoadResult loadInto(const std::wstring& fileName, WatchSettings& settings) {
    return loadConfig(fileName, settings.processName, settings.commandParams, settings.variables,
                      settings.checkPeriod, settings.responseTimeout, settings.finishCondition);
}

// Menu choice 3. A file that cannot be loaded is named, and the user may
// type another name or an empty line to give up.
SetupOutcome loadFromMenu(WatchSettings& settings) {
    promptForLine("Enter name of the config file to load: ");
    for (bool retry = false;; retry = true) {
        std::wstring fileName;
        if (readLine(fileName) == ReadStatus::Ended) return SetupOutcome::InputEnded;
        if (retry && fileName.empty()) return SetupOutcome::BadConfig;
        const LoadResult loaded = loadInto(fileName, settings);
        if (loaded.status == LoadStatus::Loaded) {
            write("Config loaded.\n");
            return SetupOutcome::Ready;
        }
        writeLine(loaded.message);
        promptForLine("Enter another config file name, or nothing to quit: ");
    }
}

// Menu choice 2: pick the target from the running processes.
SetupOutcome pickRunningProcess(WatchSettings& settings) {
    std::vector<std::wstring> processes;
    listRunningProcesses(processes);
    if (processes.empty()) {
        // Without a list no index can ever be right; asking for one would never end.
        write("No running process could be listed.\n");
        promptForLine("Enter .exe file path: ");
        return readLine(settings.processName) == ReadStatus::Ended ? SetupOutcome::InputEnded
                                                                   : SetupOutcome::Ready;
    }
    write("Currently running processes:\n");
    for (std::size_t i = 0; i < processes.size(); ++i)
        write(L"[" + std::to_wstring(i) + L"] " + processes[i] + L"\n");
    std::uint32_t index = askUnsignedNumber("Enter the index of the desired process: ");
    while (!consoleInputEnded() && index >= processes.size())
        index = askUnsignedNumber("Wrong index, try again: ");
    if (consoleInputEnded()) return SetupOutcome::InputEnded;
    settings.processName = processes[index];
    return SetupOutcome::Ready;
}

void offerToSave(const WatchSettings& settings) {
    write("Configuration complete. Save configuration for reuse? (y/n)\n");
    wchar_t answer = 0;
    if (readCharacter(answer) != ReadStatus::Ok || (answer != L'y' && answer != L'Y')) return;
    promptForLine("Enter configuration file name: ");
    std::wstring fileName;
    if (readLine(fileName) != ReadStatus::Ok) return;
    const OsResult saved = saveConfig(fileName, settings.processName, settings.commandParams,
                                      settings.variables, settings.checkPeriod,
                                      settings.responseTimeout, settings.finishCondition);
    // Losing the settings silently would be worse than saying so.
    if (!saved.ok)
        writeLine(L"The configuration could not be saved to " + resolveConfigPath(fileName) + L": " +
                  saved.error);
}

} // namespace

TokenHandle runStartup() {
    const TokenHandle token = acquireThreadToken();
    if (token == 0) {
        writeLine(L"Failed to acquire thread token.");
        waitForKey();
        return 0;
    }
    PrivilegeId debugPrivilege;
    if (!lookupDebugPrivilege(debugPrivilege) || !setPrivilege(token, debugPrivilege, true))
        showMessageAndWaitForKey(kPrivilegeWarning);
    return token;
}

SetupOutcome runSetup(int argc, char** argv, WatchSettings& settings) {
    if (argc < 2) return runSetupDialogue(settings);
    const LoadResult loaded = loadInto(programArgument(argc, argv, 1), settings);
    if (loaded.status == LoadStatus::Loaded) return SetupOutcome::Ready;
    writeLine(loaded.message);
    write("Usage: procguard [config-file]\n");
    return SetupOutcome::BadConfig;
}

SetupOutcome runSetupDialogue(WatchSettings& settings) {
    write("Select the file path of the process to look for.\n[1] Enter manually.\n"
          "[2] Select from running processes\n[3] Load config file\nYour Choice: ");
    wchar_t choice = 0;
    if (readCharacter(choice) == ReadStatus::Ended) return SetupOutcome::InputEnded;
    if (choice == L'3') return loadFromMenu(settings);
    if (choice == L'1') {
        promptForLine("Enter .exe file path: ");
        if (readLine(settings.processName) == ReadStatus::Ended) return SetupOutcome::InputEnded;
    } else {
        const SetupOutcome picked = pickRunningProcess(settings);
        if (picked != SetupOutcome::Ready) return picked;
    }

    write("Enter command line arguments to start the programm with when it has stopped running.\n"
          "You may use variables in these arguments to be automatically replaced by a variable value.\n"
          "Variables should look like this: <VarName> where VarName is the name you wish to give to "
          "the variable.\n");
    promptForLine("Arguments: ");
    if (readLine(settings.commandParams) == ReadStatus::Ended) return SetupOutcome::InputEnded;
    scanPlaceholders(settings.commandParams, settings.variables);
    defineVariables(settings.variables);
    if (consoleInputEnded()) return SetupOutcome::InputEnded;

    settings.checkPeriod = askUnsignedNumber(
        "This tool will periodically check whether the target process is still running.\n"
        "Enter the time to wait between checks (in ms): ");
    settings.responseTimeout = askUnsignedNumber(
        "If the target process is running, we will also check if it is still responsive.\n"
        "If it does not respond in time, it will be terminated or restarted.\n"
        "Enter response timeout (in ms): ");
    if (consoleInputEnded()) return SetupOutcome::InputEnded;
    defineFinishCondition(settings.finishCondition);
    if (consoleInputEnded()) return SetupOutcome::InputEnded;
    offerToSave(settings);
    return consoleInputEnded() ? SetupOutcome::InputEnded : SetupOutcome::Ready;
}

void runEndOfRun(TokenHandle token) {
    PrivilegeId debugPrivilege;
    if (lookupDebugPrivilege(debugPrivilege)) setPrivilege(token, debugPrivilege, false);
}

} // namespace procguard
