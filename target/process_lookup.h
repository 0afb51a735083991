// Which executables run, and which process is the target.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace procguard {

// Full path of the executable image of a process, or "<unknown>" when it
// cannot be read.
std::wstring getProcessImagePath(ProcessId id);

// Appends the image path of every running process, in enumeration order
// ("<unknown>" for those that cannot be read). False, with the list left as
// it was, when the enumeration failed.
bool listRunningProcesses(std::vector<std::wstring>& processes);

// Id of the first running process whose image path equals `targetPath`
// (case folded as the platform's file names are), or 0.
ProcessId findProcessByPath(const std::wstring& targetPath);

} // namespace procguard
