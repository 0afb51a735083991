// Text for log lines: JSON strings and UTC time stamps.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace procguard {

// Appends `text` as a JSON string, in its quotes, as UTF-8. Quotes,
// backslashes and control characters are escaped (\n, \t and the like, or
// \u00XX). So is a surrogate that is not half of a pair, as \uDCXX: on Linux
// that is how a byte of a name that is not UTF-8 is held, and written as an
// escape the line stays valid UTF-8 while the byte can still be told.
void appendJsonString(std::string& out, std::wstring_view text);

// "2026-12-07T17:08:09.123Z": ISO 8601 in UTC, to the millisecond (cut off,
// not rounded).
std::string formatUtcTime(std::chrono::system_clock::time_point time);

} // namespace procguard
