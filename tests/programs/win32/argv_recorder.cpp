// Test target: writes how it was started to the file named by its first
// argument, and ends: the whole command line as the system gave it, then
// each argument as the system splits it, in UTF-8, each followed by a zero
// byte (argv_record.h reads it; on Linux the program's name comes first).
// The file appears complete or not at all (written beside it, then renamed).
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

// The text and its terminating zero.
std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

} // namespace

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count < 2) return 2;
    std::string record = utf8(GetCommandLineW());
    for (int i = 1; i < count; ++i) record += utf8(arguments[i]);
    const std::wstring target = arguments[1];
    const std::wstring partial = target + L".partial";
    HANDLE file =
        CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    if (!wrote) return 3;
    return MoveFileExW(partial.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
