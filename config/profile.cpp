#include "config/profile.h"

#include <cstdio>

namespace procguard {

namespace {

bool isStreamSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

// A signed decimal at the start of `text`, read the way a formatted stream
// extraction reads an int: leading white space, an optional sign, then digits
// up to the first non-digit. False when there is no digit or the number does
// not fit 32 bits.
bool parseLeadingInt(const std::wstring& text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && isStreamSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    bool anyDigit = false;
    bool overflow = false;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        anyDigit = true;
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > limit) {
            overflow = true;
            magnitude = limit; // keeps the product small; the digits still count as read
        }
    }
    if (!anyDigit || overflow) return false;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

} // namespace

std::wstring formatDecimal(std::int32_t value) {
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    return std::wstring(buffer, buffer + length);
}

std::int32_t readProfileInt(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fileName, std::int32_t defaultValue) {
    const std::wstring text = readProfileString(section, key, fileName, formatDecimal(defaultValue));
    std::int32_t value = 0;
    return parseLeadingInt(text, value) ? value : defaultValue;
}

OsResult writeProfileInt(const std::wstring& section, const std::wstring& key,
                         const std::wstring& fileName, std::int32_t value) {
    return writeProfileString(section, key, fileName, formatDecimal(value));
}

} // namespace procguard
