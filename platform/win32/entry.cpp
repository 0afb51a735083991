// The start of the process on Windows, and its command line.
#include "platform/entry.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/stop.h"

namespace procguard {

void initializePlatform() { installStopHandlers(); }

std::wstring programArgument(int argc, char** argv, int index) {
    // The narrow argv holds the command line in the ANSI code page, which
    // loses every character outside it; the wide command line is exact.
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments != nullptr) {
        std::wstring argument = index >= 0 && index < count ? arguments[index] : L"";
        LocalFree(arguments);
        return argument;
    }
    if (index < 0 || index >= argc || argv[index] == nullptr) return L"";
    const int length = MultiByteToWideChar(CP_ACP, 0, argv[index], -1, nullptr, 0);
    if (length <= 1) return L"";
    std::wstring argument(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, argv[index], -1, argument.data(), length);
    argument.resize(static_cast<std::size_t>(length) - 1);
    return argument;
}

bool slashQuestionMarkAsksForHelp() { return true; }

} // namespace procguard
