#include "base/log_text.h"

#include <cstdio>

#include "base/utf8.h"

namespace procguard {

namespace {

bool isHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void appendEscape(std::string& out, wchar_t c) {
    switch (c) {
    case L'"': out += "\\\""; return;
    case L'\\': out += "\\\\"; return;
    case L'\b': out += "\\b"; return;
    case L'\f': out += "\\f"; return;
    case L'\n': out += "\\n"; return;
    case L'\r': out += "\\r"; return;
    case L'\t': out += "\\t"; return;
    default: {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c) & 0xFFFFu);
        out += escape;
    }
    }
}

} // namespace

void appendJsonString(std::string& out, std::wstring_view text) {
    out.push_back('"');
    std::size_t plain = 0; // where the run of characters that need no escape began
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            ++i; // a pair (only Windows text has them) is one character
            continue;
        }
        const bool lone = isHighSurrogate(c) || isLowSurrogate(c);
        if (c >= 0x20 && c != L'"' && c != L'\\' && !lone) continue;
        out += encodeUtf8(text.substr(plain, i - plain));
        appendEscape(out, c);
        plain = i + 1;
    }
    out += encodeUtf8(text.substr(plain));
    out.push_back('"');
}

std::string formatUtcTime(std::chrono::system_clock::time_point time) {
    using namespace std::chrono;
    const auto ms = floor<milliseconds>(time);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss clock{ms - day};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

} // namespace procguard
