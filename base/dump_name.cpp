#include "base/dump_name.h"

#include "base/log_text.h"

namespace procguard {

std::wstring dumpFileName(std::wstring_view program, std::uint32_t processId,
                          std::chrono::system_clock::time_point time, std::wstring_view extension) {
    const std::size_t slash = program.find_last_of(L"/\\");
    std::wstring_view name = slash == std::wstring_view::npos ? program : program.substr(slash + 1);
    // A leading dot names a hidden file rather than starting an extension.
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos && dot > 0) name = name.substr(0, dot);
    if (name.empty()) name = L"process";

    // The log's time stamp, "2026-12-09T14:30:05.123Z", without its
    // punctuation and to the second: a name every file system takes.
    std::string stamp;
    for (char c : formatUtcTime(time).substr(0, 19))
        if (c != '-' && c != ':') stamp.push_back(c);
    stamp.push_back('Z');
    std::wstring text(name);
    text += L"_" + std::to_wstring(processId) + L"_";
    text.append(stamp.begin(), stamp.end());
    text += extension;
    return text;
}

} // namespace procguard
