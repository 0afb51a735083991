// Texts that more than one dialogue asks.
#pragma once

namespace procguard {

// The question before a file mask, in the variable and the finish-condition
// dialogues.
inline constexpr const char* kFileMaskPrompt =
    "Enter file mask to look for (e.g. C:\\MyFolder\\*.bmp to get the number of .bmp files "
    "in C:\\MyFolder\\):\n";

} // namespace procguard
