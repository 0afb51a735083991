// Config file paths and single keys of profile files.
#include "platform/platform.h"

#include <windows.h>

#include "platform/win32/system_error.h"

namespace procguard {

namespace {

constexpr DWORD kProfileValueSize = 2048; // a read gives at most 2047 characters

// A missing profile file is created holding just the UTF-16LE byte-order mark:
// the profile functions then write it as UTF-16, and text outside the ANSI
// code page survives. An existing file keeps its encoding.
OsResult createUnicodeProfile(const std::wstring& path, bool& created) {
    created = false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return {};
        // A folder of that name is refused by the profile write, with its own reason.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
        return {false, systemErrorMessage(error)};
    }
    static const unsigned char byteOrderMark[2] = {0xFF, 0xFE};
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, byteOrderMark, sizeof byteOrderMark, &written, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!wrote || written != sizeof byteOrderMark) {
        DeleteFileW(path.c_str());
        return {false, systemErrorMessage(error)};
    }
    created = true;
    return {};
}

} // namespace

std::wstring currentDirectoryPrefix() {
    // Any length the system allows is taken: when the buffer is too small the
    // call returns the size it needs, terminator included, and is asked again.
    std::wstring directory(1024, L'\0');
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data());
    while (length >= directory.size()) {
        directory.assign(length, L'\0');
        length = GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data());
    }
    if (length == 0) return L"C:\\";
    directory.resize(length);
    return directory + L"\\";
}

std::wstring resolveConfigPath(const std::wstring& fileName) {
    if (fileName.size() >= 2 && fileName[1] == L':') return fileName;
    return currentDirectoryPrefix() + fileName;
}

std::wstring readProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& fileName, const std::wstring& defaultText) {
    const std::wstring path = resolveConfigPath(fileName);
    std::wstring buffer(kProfileValueSize, L'\0');
    const DWORD copied = GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultText.c_str(),
                                                  buffer.data(), kProfileValueSize, path.c_str());
    if (copied == 0) return defaultText;
    buffer.resize(buffer.find(L'\0'));
    return buffer;
}

OsResult writeProfileString(const std::wstring& section, const std::wstring& key,
                            const std::wstring& fileName, const std::wstring& text) {
    const std::wstring path = resolveConfigPath(fileName);
    bool created = false;
    OsResult prepared = createUnicodeProfile(path, created);
    if (!prepared.ok) return prepared;
    if (WritePrivateProfileStringW(section.c_str(), key.c_str(), text.c_str(), path.c_str()))
        return {};
    const DWORD error = GetLastError();
    if (created) DeleteFileW(path.c_str());
    return {false, systemErrorMessage(error)};
}

OsResult checkReadableFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {false, L"file not found"};
        return {false, systemErrorMessage(error)};
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return {false, L"is a folder"};
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {false, systemErrorMessage(GetLastError())};
    CloseHandle(file);
    return {};
}

} // namespace procguard
