// The start of the process and its command line.
#pragma once

#include <string>

namespace procguard {

// Prepares the process, first thing in main: a console whose reader is gone
// must not kill the watchdog (Linux: SIGPIPE), and a stop request is caught
// (see stopRequested). Calling it again changes nothing.
void initializePlatform();

// Command-line argument `index` (1 = the first after the program name) as wide
// text, decoded the platform's way.
std::wstring programArgument(int argc, char** argv, int index);

// Whether "/?" asks for help, as it does for Windows programs; on Linux it is
// a file name like any other.
bool slashQuestionMarkAsksForHelp();

} // namespace procguard
