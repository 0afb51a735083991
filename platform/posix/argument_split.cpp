#include "platform/posix/argument_split.h"

namespace procguard {

namespace {

bool isSeparator(wchar_t c) { return c == L' ' || c == L'\t'; }

} // namespace

std::vector<std::wstring> splitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> arguments;
    std::size_t i = 0;
    const std::size_t end = line.size();
    for (;;) {
        while (i < end && isSeparator(line[i])) ++i;
        if (i == end) break;

        // Any non-separator starts an argument, even one that ends up empty ("").
        std::wstring argument;
        bool quoted = false;
        while (i < end) {
            std::size_t backslashes = 0;
            while (i < end && line[i] == L'\\') {
                ++backslashes;
                ++i;
            }
            if (i < end && line[i] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument.push_back(L'"'); // escaped quote
                } else if (quoted && i + 1 < end && line[i + 1] == L'"') {
                    argument.push_back(L'"'); // "" inside quotes
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
                continue;
            }
            argument.append(backslashes, L'\\');
            if (i == end || (!quoted && isSeparator(line[i]))) break;
            argument.push_back(line[i]);
            ++i;
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

} // namespace procguard
