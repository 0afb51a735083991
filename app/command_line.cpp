#include "app/command_line.h"

#include "app/exit_codes.h"
#include "procguard_version.h"
#include "console/console.h"
#include "platform/entry.h"

namespace procguard {

namespace {

const std::wstring kEventsOption = L"--events";

bool isOption(const std::wstring& argument) {
    return (argument.size() > 1 && argument[0] == L'-') || (argument == L"/?" && slashQuestionMarkAsksForHelp());
}

CommandLine refuse(std::wstring problem) {
    CommandLine refused;
    refused.action = CommandAction::Refuse;
    refused.problem = std::move(problem);
    return refused;
}

std::wstring helpText() {
    const std::wstring helpOptions = slashQuestionMarkAsksForHelp() ? L"-h, --help, /?" : L"-h, --help";
    std::wstring text;
    for (const char* c = kUsageLine; *c != '\0'; ++c) text.push_back(static_cast<wchar_t>(*c));
    text += L"Keeps one program running and answering. Without a config file it asks for the settings.\n"
            L"  config-file      load the settings from this file\n"
            L"  --events FILE    append each check outcome and change of state to FILE as JSON Lines\n"
            L"  --no-wait        never wait for a key, also at a console (for a console nobody watches)\n";
    text += L"  " + helpOptions + std::wstring(17 - helpOptions.size(), L' ') + L"show this help and exit\n";
    text += L"  --version        show the version and exit\n"
            L"  --               end of the options: a config file name beginning with - may follow\n";
    return text;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::wstring>& arguments) {
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (optionsEnded || !isOption(argument)) {
            if (!line.configFile) line.configFile = argument;
        } else if (argument == L"--") {
            optionsEnded = true;
        } else if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
            line.action = CommandAction::Help;
            return line;
        } else if (argument == L"--version") {
            line.action = CommandAction::Version;
            return line;
        } else if (argument == L"--no-wait") {
            line.noWait = true;
        } else if (argument == kEventsOption || argument.starts_with(kEventsOption + L"=")) {
            if (argument == kEventsOption) {
                if (i + 1 == arguments.size()) return refuse(L"The option --events needs a file name.");
                line.eventsFile = arguments[++i];
            } else {
                line.eventsFile = argument.substr(kEventsOption.size() + 1);
            }
            if (line.eventsFile.empty()) return refuse(L"The option --events needs a file name.");
        } else {
            return refuse(L"Unknown option: " + argument);
        }
    }
    return line;
}

std::vector<std::wstring> programArguments(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(programArgument(argc, argv, i));
    return arguments;
}

int answerCommandLine(const CommandLine& commandLine) {
    switch (commandLine.action) {
    case CommandAction::Help: print(helpText()); return kExitAnswered;
    case CommandAction::Version: print("procguard " PROCGUARD_VERSION "\n"); return kExitAnswered;
    case CommandAction::Refuse:
        printLine(commandLine.problem);
        print(kUsageLine);
        return kExitBadConfig;
    case CommandAction::Watch: break;
    }
    return kExitAnswered;
}

} // namespace procguard
