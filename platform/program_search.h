// Finding the program a start of a bare name runs.
#pragma once

#include <string>

namespace procguard {

// Whether `name` names no folder at all, so that a start looks for the
// program itself (Windows: no '\', '/' or ':' in it; Linux: no '/').
bool isBareProgramName(const std::wstring& name);

// The file a start of the bare name `name` runs, found where the start looks:
// on Windows as ShellExecuteEx looks, in the current directory, the Windows
// directory, the system directory, each folder of PATH (with each extension
// of PATHEXT when the name has none), then the App Paths registration of the
// name under HKCU and then HKLM; on Linux as execvp looks, in each folder of
// PATH in turn (an empty entry is the current directory), for the first
// regular file that may be executed. False when there is none.
bool searchProgram(const std::wstring& name, std::wstring& found);

} // namespace procguard
