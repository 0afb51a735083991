// How Windows compares and completes file names. The Windows backend follows
// these rules, and so does the fake system that plays Windows in the unit
// tests, so that both agree by construction.
#pragma once

#include <string>

namespace procguard {

// Each UTF-16 code unit passed through towlower, the way Windows file names
// compare without regard to case.
std::wstring foldWindowsCase(const std::wstring& path);

// A config file name whose second character is a colon (D:\cfg\run.ini, and
// also D:run.ini) is used as it stands; any other goes behind the current
// directory.
bool hasDriveForm(const std::wstring& fileName);

} // namespace procguard
