#include "base/windows_names.h"

#include <cwctype>

namespace procguard {

std::wstring foldWindowsCase(const std::wstring& path) {
    std::wstring folded = path;
    for (wchar_t& unit : folded) unit = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(unit)));
    return folded;
}

bool hasDriveForm(const std::wstring& fileName) { return fileName.size() >= 2 && fileName[1] == L':'; }

} // namespace procguard
