// Answers that name a file: the target, a config file to load or save, a
// file mask.
#pragma once

#include <string>

#include "console/console.h"

namespace procguard {

// The path an answer names. One pair of double quotes around the whole
// answer, as Windows' "Copy as path" writes it, is dropped, unless a file of
// the quoted name exists: a Windows name can never hold a double quote, a
// Linux name can.
std::wstring unquotedPath(const std::wstring& answer);

// readLine for such an answer: the line, unquoted.
ReadStatus readPathLine(std::wstring& answer);

} // namespace procguard
