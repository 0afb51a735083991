// Resolves a config name while the current directory is longer than 1023
// characters, in a process of its own: Wine takes such a directory but
// copies it over the end of the buffer it keeps it in, so the process that
// set it is not fit for anything afterwards. Argument: the deep folder, which
// exists. Prints "refused" when the system will not make it current, "ok" when
// the directory was used whole, or what went wrong.
#include <windows.h>

#include <string>

#include "config/profile.h"

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count < 2) return 2;
    const std::wstring deep = arguments[1];

    std::string verdict;
    if (!SetCurrentDirectoryW(deep.c_str())) {
        verdict = "refused\n";
    } else {
        std::wstring here(32768, L'\0');
        here.resize(GetCurrentDirectoryW(32768, here.data()));
        const std::wstring prefix = procguard::currentDirectoryPrefix();
        const std::wstring resolved = procguard::resolveConfigPath(L"run.ini");
        if (here.size() <= 1023)
            verdict = "short " + std::to_string(here.size()) + "\n";
        else if (prefix != here + L"\\")
            verdict = "prefix " + std::to_string(prefix.size()) + "\n";
        else if (resolved != here + L"\\run.ini")
            verdict = "resolved " + std::to_string(resolved.size()) + "\n";
        else
            verdict = "ok\n";
    }
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), verdict.data(), static_cast<DWORD>(verdict.size()), &written, nullptr);
    // Nothing more may run in this process: end it here.
    ExitProcess(0);
}
