// The program the target path names: what every start runs and every lookup
// compares. A path with a folder names it as it stands. A bare name names
// the program a start of that name would find on the search path
// (platform/program_search.h), so that the watchdog starts that one file and
// then knows it as the target, rather than starting a new instance at every
// check because no running image is called by the bare name.
#pragma once

#include <string>

namespace procguard {

struct TargetProgram {
    std::wstring path;    // what is started and compared; empty before the first check
    bool settled = false; // nothing can change it any more: a folder was given, or the search found the program
};

// Brings `program` up to date for `targetPath` and returns its path. While a
// bare name has not been found (the program is not installed yet, PATH does
// not reach it) every call searches again, and the bare name stands for
// itself.
const std::wstring& targetProgram(const std::wstring& targetPath, TargetProgram& program);

} // namespace procguard
