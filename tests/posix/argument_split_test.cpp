#include "platform/posix/argument_split.h"

#include <gtest/gtest.h>

namespace procguard {
namespace {

struct SplitCase {
    const wchar_t* line;
    std::vector<std::wstring> arguments;
};

// What a Windows program receives in argv[1..] for the same argument line.
const SplitCase kCases[] = {
    {L"", {}},
    {L" \t ", {}},
    {L"a b\tc", {L"a", L"b", L"c"}},
    {L"  lead   and  trail  ", {L"lead", L"and", L"trail"}},
    {L"\"two words\" x", {L"two words", L"x"}},
    {L"a\"b c\"d", {L"ab cd"}},         // quotes group inside a word
    {L"\"\" x \"\"", {L"", L"x", L""}}, // empty quoted arguments are kept
    {L"\"unclosed quote", {L"unclosed quote"}},
    {L"\\\"x\\\"", {L"\"x\""}},                     // \"  -> literal quote
    {L"a\\\\\"b c\"", {L"a\\b c"}},                 // \\" -> one backslash, quote toggles
    {L"a\\\\\\\"b", {L"a\\\"b"}},                   // \\\" -> backslash and literal quote
    {L"C:\\dir\\file.txt", {L"C:\\dir\\file.txt"}}, // backslashes not before a quote stay
    {L"\"C:\\some dir\\\\\" next", {L"C:\\some dir\\", L"next"}},
    {L"trailing\\", {L"trailing\\"}},
    {L"\"trailing\\\\\"", {L"trailing\\"}},
    {L"\"say \"\"hi\"\" now\"", {L"say \"hi\" now"}}, // "" inside quotes, quoting goes on
    {L"\"\"\"\"", {L"\""}},
    {L"a\"\"b", {L"ab"}}, // "" outside quotes: empty group
    {L"\"tab\tinside\"\tout", {L"tab\tinside", L"out"}},
    {L"line\nbreak", {L"line\nbreak"}}, // only blanks and tabs separate
    {L"caf\u00e9 \u6587\u5b57", {L"caf\u00e9", L"\u6587\u5b57"}},
};

TEST(ArgumentSplit, SplitsLikeTheWindowsRuntime) {
    for (const SplitCase& split : kCases) {
        EXPECT_EQ(splitCommandLine(split.line), split.arguments)
            << "line: " << testing::PrintToString(std::wstring(split.line));
    }
}

} // namespace
} // namespace procguard
