// Turns a Windows error code into the text the user sees.
#pragma once

#include <string>

namespace procguard {

// The system's message for `code` (FormatMessageW), without the line end the
// system puts behind it; "error <code>" when the system has no text for it.
std::wstring systemErrorMessage(unsigned long code);

} // namespace procguard
