// Reading what the argv_recorder test program wrote: each word followed by a
// zero byte.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace procguard::test {

// Every recorded word, the program's own name first (on Windows the whole
// command line, which begins with it).
inline std::vector<std::string> recordedWords(const std::string& bytes) {
    std::vector<std::string> words;
    std::size_t begin = 0;
    for (std::size_t end; (end = bytes.find('\0', begin)) != std::string::npos; begin = end + 1)
        words.push_back(bytes.substr(begin, end - begin));
    return words;
}

// The recorded arguments after the program's own name and the record file's.
inline std::vector<std::string> recordedArguments(const std::string& bytes) {
    std::vector<std::string> words = recordedWords(bytes);
    words.erase(words.begin(), words.begin() + std::min<std::size_t>(2, words.size()));
    return words;
}

} // namespace procguard::test
