#pragma once

namespace procguard {

// Process exit codes; the README lists them for users and scripts.
inline constexpr int kExitFinished = 0;       // the finish condition held
inline constexpr int kExitAnswered = 0;       // --help or --version was answered
inline constexpr int kExitNoThreadToken = -1; // no thread token (255 where only a byte is kept)
inline constexpr int kExitInputEnded = 2;     // console input ended before the setup was complete
inline constexpr int kExitBadConfig = 3;      // the command line, or the config file it names, cannot be used
inline constexpr int kExitStopped = 4;        // a stop request (Ctrl+C, SIGTERM, closing the console, ...)

} // namespace procguard
