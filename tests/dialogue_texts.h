// Texts that more than one dialogue prints, as the user sees them.
#pragma once

#include <string>

namespace procguard::test {

inline const std::wstring kFinishMenu =
    L"When would you like the program to stop restarting the target process?\n[0] Never.\n"
    L"[1] When a certain number of files exists.\n[2] After a certain number of restarts.\n"
    L"[3] When a variable has reached a certain value.\nYour choice: ";
inline const std::wstring kMaskPrompt =
    L"Enter file mask to look for (e.g. C:\\MyFolder\\*.bmp to get the number of .bmp files in "
    L"C:\\MyFolder\\):\n";

} // namespace procguard::test
