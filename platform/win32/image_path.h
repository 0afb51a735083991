// Reading the image path of an open process, for the lookup and for a held
// process alike.
#pragma once

#include <windows.h>

#include <string>

namespace procguard {

// The Win32 path of the process's image, read whole however long; false when
// the query fails.
bool queryImagePath(HANDLE process, std::wstring& path);

} // namespace procguard
