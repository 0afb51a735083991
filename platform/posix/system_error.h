// Turns an errno value into the text the user sees.
#pragma once

#include <string>

namespace procguard {

// errno has no value for "exists but is neither a file nor a folder".
inline constexpr int kNotRegularFile = -1;

// The system's message for `error` (strerror), or one of ours for the values
// above.
std::wstring systemErrorMessage(int error);

} // namespace procguard
