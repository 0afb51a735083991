#include "config/profile.h"

#include "base/decimal.h"

namespace procguard {

std::wstring resolveConfigPath(const std::wstring& fileName) {
    if (isCompleteFileName(fileName)) return fileName;
    return currentDirectoryPrefix() + fileName;
}

std::wstring readProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                               const std::wstring& defaultText) {
    std::wstring value = readProfileValue(section, key, path);
    if (value.empty()) return defaultText;
    if (value.size() > kMaxProfileValue) value.resize(kMaxProfileValue);
    return value;
}

Result writeProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                          const std::wstring& text) {
    return writeProfileValue(section, key, path, text);
}

std::int32_t readProfileInt(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                            std::int32_t defaultValue) {
    const std::wstring text = readProfileString(section, key, path, formatDecimal(defaultValue));
    std::int32_t value = defaultValue;
    return readLeadingInt(text, value) == LeadingNumber::Read ? value : defaultValue;
}

Result writeProfileInt(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                       std::int32_t value) {
    return writeProfileString(section, key, path, formatDecimal(value));
}

} // namespace procguard
