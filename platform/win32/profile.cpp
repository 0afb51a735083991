// Config file paths and single keys of profile files.
#include "platform/profile.h"

#include <windows.h>

#include <cwchar>

#include "base/windows_names.h"
#include "platform/win32/system_error.h"

namespace procguard {

namespace {

// One character more than a read may give, for the terminator.
constexpr DWORD kProfileValueSize = kMaxProfileValue + 1;
constexpr DWORD kFirstDirectoryBuffer = 1024;
constexpr DWORD kFirstSectionListBuffer = 4096;
constexpr DWORD kLargestSectionListBuffer = 1u << 24;

// A missing profile file is created holding just the UTF-16LE byte-order mark:
// the profile functions then write it as UTF-16, and text outside the ANSI
// code page survives. An existing file keeps its encoding.
Result createUnicodeProfile(const std::wstring& path, bool& created) {
    created = false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return {};
        // A folder of that name is refused by the profile write, with its own reason.
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return {};
        return failure(systemErrorMessage(error));
    }
    static const unsigned char byteOrderMark[2] = {0xFF, 0xFE};
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, byteOrderMark, sizeof byteOrderMark, &written, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!wrote || written != sizeof byteOrderMark) {
        DeleteFileW(path.c_str());
        return failure(systemErrorMessage(error));
    }
    created = true;
    return {};
}

} // namespace

std::wstring currentDirectoryPrefix() {
    // Any length the system allows is taken: when the buffer is too small the
    // call returns the size it needs, terminator included, and is asked again.
    std::wstring directory(kFirstDirectoryBuffer, L'\0');
    DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data());
    while (length >= directory.size()) {
        directory.assign(length, L'\0');
        length = GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data());
    }
    if (length == 0) return L"C:\\";
    directory.resize(length);
    return directory + L"\\";
}

bool isCompleteFileName(const std::wstring& fileName) { return hasDriveForm(fileName); }

std::wstring readProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path) {
    std::wstring buffer(kProfileValueSize, L'\0');
    // The default is empty: what a missing or empty value means is decided
    // above the seam, alike on every platform.
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", buffer.data(), kProfileValueSize, path.c_str());
    buffer.resize(buffer.find(L'\0'));
    return buffer;
}

Result writeProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                         const std::wstring& text) {
    bool created = false;
    Result prepared = createUnicodeProfile(path, created);
    if (!prepared.ok) return prepared;
    if (WritePrivateProfileStringW(section.c_str(), key.c_str(), text.c_str(), path.c_str())) return {};
    const DWORD error = GetLastError();
    if (created) DeleteFileW(path.c_str());
    return failure(systemErrorMessage(error));
}

bool hasProfileSection(const std::wstring& section, const std::wstring& path) {
    // The names come as a list of terminated texts; a list that does not fit
    // is cut, and then the call returns the buffer size less 2.
    std::wstring names;
    DWORD length = 0;
    for (DWORD size = kFirstSectionListBuffer; size <= kLargestSectionListBuffer; size *= 2) {
        names.assign(size, L'\0');
        length = GetPrivateProfileSectionNamesW(names.data(), size, path.c_str());
        if (length != size - 2) break;
    }
    // Names match as the profile functions match them, without regard to case.
    for (std::size_t at = 0; at < length && names[at] != L'\0'; at += wcslen(names.c_str() + at) + 1)
        if (CompareStringOrdinal(names.c_str() + at, -1, section.c_str(), -1, TRUE) == CSTR_EQUAL) return true;
    return false;
}

Result checkReadableFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return failure(L"file not found");
        return failure(systemErrorMessage(error));
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return failure(L"is a folder");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failure(systemErrorMessage(GetLastError()));
    CloseHandle(file);
    return {};
}

} // namespace procguard
