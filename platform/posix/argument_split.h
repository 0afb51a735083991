// The argument line of a started target, split into arguments the way a
// Windows program splits its own command line, so that one config means the
// same on both platforms.
#pragma once

#include <string>
#include <vector>

namespace procguard {

// Splits `line` by the rules of the Windows C runtime:
// - blanks and tabs outside double quotes separate arguments;
// - a double quote toggles quoting and is not kept; "" inside quotes is one
//   literal quote (quoting goes on);
// - 2n backslashes before a quote give n backslashes and the quote toggles;
//   2n+1 backslashes before a quote give n backslashes and a literal quote;
// - backslashes anywhere else are literal.
// A quoted empty text ("") is an empty argument; an unclosed quote runs to
// the end of the line.
std::vector<std::wstring> splitCommandLine(const std::wstring& line);

} // namespace procguard
