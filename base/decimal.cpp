#include "base/decimal.h"

#include <cstdio>

namespace procguard {

namespace {

bool isStreamSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

} // namespace

std::wstring formatDecimal(std::int32_t value) {
    char buffer[64];
    const int length = std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
    return std::wstring(buffer, buffer + length);
}

LeadingNumber readLeadingInt(std::wstring_view text, std::int32_t& value) {
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
    if (!anyDigit) return LeadingNumber::NoDigit;
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return overflow ? LeadingNumber::TooLarge : LeadingNumber::Read;
}

} // namespace procguard
