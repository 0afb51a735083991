// Which executables run, and which process is the target.
#pragma once

#include <string>
#include <vector>

#include "platform/process.h"

namespace procguard {

// Full path of the executable image of a process, or "<unknown>" when it
// cannot be read.
std::wstring getProcessImagePath(ProcessId id);

// Appends the image path of every running process but the kernel's threads,
// in enumeration order ("<unknown>" for those that cannot be read). False,
// with the list left as it was, when the enumeration failed.
bool listRunningProcesses(std::vector<std::wstring>& processes);

// The form in which the target path is compared with image paths: resolved
// the way a start would find the file (relative paths, symbolic links and
// short names, as the platform resolves them), then case folded as the
// platform's file names are. A path that cannot be resolved (the file is
// missing) is compared as typed.
std::wstring targetComparisonForm(const std::wstring& targetPath);

// Id of the first running process whose image path, case folded, equals
// the comparison form of `targetPath`, or 0.
ProcessId findProcessByPath(const std::wstring& targetPath);

} // namespace procguard
