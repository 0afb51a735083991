// The event log's lines as the OS tests read them back: JSON objects in the
// shape the log writes (no blanks; strings, integers, the variables' object).
#pragma once

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace procguard::test {

inline bool isEventLine(const std::string& line) {
    const std::string text = R"("(?:[^"\\\x00-\x1f]|\\["\\/bfnrt]|\\u[0-9a-fA-F]{4})*")",
                      number = "(?:0|-?[1-9][0-9]*)", variable = text + ":" + number;
    static const std::regex shape("\\{\"time\":" + text + ",\"event\":" + text + ",\"restarts\":" + number +
                                  "(,\"pid\":" + number + ")?(,\"probe\":" + text + ")?(,\"reason\":" + text +
                                  ")?(,\"failures\":" + number + ")?(,\"delay\":" + number + ")?(,\"file\":" + text +
                                  ")?(,\"arguments\":" + text + ")?(,\"variables\":\\{(" + variable + "(," + variable +
                                  ")*)?\\})?(,\"error\":" + text + ")?\\}");
    return std::regex_match(line, shape);
}

// A member of an event line: a string's text between its quotes, a
// number's digits; "" when the line has no such member.
inline std::string memberOf(const std::string& line, const std::string& name) {
    std::smatch found;
    if (!std::regex_search(line, found, std::regex("[{,]\"" + name + R"re(":(?:"((?:[^"\\]|\\.)*)"|(-?[0-9]+)))re")))
        return "";
    return found[1].matched ? found[1].str() : found[2].str();
}

// `name` of every line of `log` ("" where a line has none), or the line
// itself, marked, where it is not an event line.
inline std::vector<std::string> membersOf(const std::string& log, const std::string& name) {
    std::vector<std::string> values;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        values.push_back(isEventLine(line) ? memberOf(line, name) : "not an event line: " + line);
    return values;
}

} // namespace procguard::test
