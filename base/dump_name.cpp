#include "base/dump_name.h"

#include <cstdio>

namespace procguard {

std::wstring dumpFileName(std::wstring_view program, std::uint32_t processId,
                          std::chrono::system_clock::time_point time, std::wstring_view extension) {
    const std::size_t slash = program.find_last_of(L"/\\");
    std::wstring_view name = slash == std::wstring_view::npos ? program : program.substr(slash + 1);
    // A leading dot names a hidden file rather than starting an extension.
    const std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos && dot > 0) name = name.substr(0, dot);
    if (name.empty()) name = L"process";

    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02u%02uT%02d%02d%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    std::wstring text(name);
    text += L"_" + std::to_wstring(processId) + L"_";
    for (const char* c = stamp; *c != '\0'; ++c) text.push_back(static_cast<wchar_t>(*c));
    text += extension;
    return text;
}

} // namespace procguard
