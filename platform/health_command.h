// Health commands: a program the watchdog runs to ask whether the target is
// healthy, healthy when it exits with 0 in time.
//
// The command is one line: the program, then its arguments. Linux splits
// the whole line by the Windows command-line rules (as it splits a target's
// argument line) and runs the first word; Windows runs the first word (in
// double quotes, or up to the first blank) and hands the rest of the line to
// the program as it stands. Neither searches PATH nor goes through a shell.
// The command runs in the watchdog's current folder and environment, with no
// window and no console of its own, and its standard input, output and error
// are the null device.
#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"

namespace procguard {

// Whether the program of `commandLine` can be run: Linux: it exists, is a
// file and this user may execute it; Windows: it exists and is not a folder.
// `error` names the program and says what is wrong ("/x/check: No such file
// or directory", "/x is a folder, not a program.").
Result checkHealthCommand(const std::wstring& commandLine);

// Runs `commandLine` once and waits at most `timeoutMs` for it to end. `ok`
// when it exited with 0; otherwise `error` is the reason:
//   "the command exited with 1"
//   "the command was ended by signal 9 (Killed)"          (Linux)
//   "the command did not end within N ms"
//   "the command could not be started: <system message>"
// A command still running at the time limit, or at a stop request, is
// terminated: on Linux its whole process group (the command runs in a
// session of its own), on Windows every process of the job it runs in. A
// stop request (stopRequested()) cuts the wait short at once, with the
// reason "the check was cut short by a stop request". An ended command is
// always collected.
Result runHealthCommand(const std::wstring& commandLine, std::uint32_t timeoutMs);

} // namespace procguard
