#include "config/profile.h"

#include "base/decimal.h"

namespace procguard {

std::wstring resolveConfigPath(const std::wstring& fileName) {
    if (isCompleteFileName(fileName)) return fileName;
    return currentDirectoryPrefix() + fileName;
}

std::wstring readProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& fileName, const std::wstring& defaultText) {
    std::wstring value = readProfileValue(section, key, resolveConfigPath(fileName));
    if (value.empty()) return defaultText;
    if (value.size() > kMaxProfileValue) value.resize(kMaxProfileValue);
    return value;
}

OsResult writeProfileString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fileName, const std::wstring& text) {
    return writeProfileValue(section, key, resolveConfigPath(fileName), text);
}

std::int32_t readProfileInt(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fileName, std::int32_t defaultValue) {
    const std::wstring text = readProfileString(section, key, fileName, formatDecimal(defaultValue));
    std::int32_t value = defaultValue;
    return readLeadingInt(text, value) == LeadingNumber::Read ? value : defaultValue;
}

OsResult writeProfileInt(const std::wstring& section, const std::wstring& key,
                         const std::wstring& fileName, std::int32_t value) {
    return writeProfileString(section, key, fileName, formatDecimal(value));
}

} // namespace procguard
