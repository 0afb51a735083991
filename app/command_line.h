// The command line: procguard [--events FILE] [--no-wait] [config-file], or
// --help, -h (and /? on Windows), or --version.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace procguard {

enum class CommandAction {
    Watch,   // run: the dialogue, or the config file named
    Help,    // print the usage and the options, exit 0
    Version, // print the name and the version, exit 0
    Refuse,  // print what is wrong and the usage line, exit 3
};

struct CommandLine {
    CommandAction action = CommandAction::Watch;
    std::optional<std::wstring> configFile; // none: the setup dialogue
    std::wstring eventsFile;                // empty: no event log
    bool noWait = false;                    // --no-wait: no key wait waits
    std::wstring problem;                   // why the line was refused
};

// Options may stand before or after the config file name; "--" ends them, so
// a file name beginning with '-' can follow it. Only the first name counts;
// further names are ignored, as they always were. The first help or version
// option decides, unless an unknown option stands before it.
CommandLine parseCommandLine(const std::vector<std::wstring>& arguments);

// The arguments after the program name.
std::vector<std::wstring> programArguments(int argc, char** argv);

// Prints what the help, version or refused command line asks for and returns
// the exit code.
int answerCommandLine(const CommandLine& commandLine);

inline constexpr char kUsageLine[] = "Usage: procguard [--events FILE] [--no-wait] [config-file]\n";

} // namespace procguard
