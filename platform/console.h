// The console's raw input and output; the prompts and answers built on them
// are console/console.h.
#pragma once

#include <string>

namespace procguard {

// Appends the console input that is available (blocking until some is, a
// whole line on an interactive console) to `text`. False at end of input.
bool readConsoleInput(std::wstring& text);

// Writes wide text to the console output, unbuffered.
void writeConsole(const std::wstring& text);

} // namespace procguard
