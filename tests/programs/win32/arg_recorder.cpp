// A target that records how it was started: it writes its wide command line
// and then each argument as the system splits it, one per line, as UTF-16LE
// into the file that PROCGUARD_ARGS_FILE names, and ends. Without the
// variable it only ends.
#include <windows.h>
#include <shellapi.h>

#include <string>

int main() {
    wchar_t fileName[32768];
    const DWORD length = GetEnvironmentVariableW(L"PROCGUARD_ARGS_FILE", fileName, 32768);
    if (length == 0 || length >= 32768) return 0;

    std::wstring record = GetCommandLineW();
    record += L"\n";
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; arguments != nullptr && i < count; ++i) {
        record += arguments[i];
        record += L"\n";
    }
    if (arguments != nullptr) LocalFree(arguments);

    // Written whole under a temporary name and then renamed, so a reader never
    // sees half a record.
    const std::wstring partial = std::wstring(fileName) + L".partial";
    HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 2;
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size() * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(file);
    return MoveFileExW(partial.c_str(), fileName, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}
