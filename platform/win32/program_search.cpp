// Finding the program of a bare name on Windows, where ShellExecuteEx looks
// for it: the current directory, the Windows directory, the system
// directory, the folders of PATH, and last the App Paths registration.
#include "platform/program_search.h"

#include <windows.h>

#include <string>
#include <vector>

namespace procguard {

namespace {

const wchar_t kAppPathsKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
// What PATHEXT holds on a system that has not changed it.
const wchar_t kDefaultExtensions[] = L".COM;.EXE;.BAT;.CMD";

std::wstring environmentVariable(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, value.data(), size));
    return value;
}

// The parts of a ';' list, each without one pair of surrounding quotes (a
// PATH folder holding ';' is written in quotes); empty parts are left out.
std::vector<std::wstring> listParts(const std::wstring& list) {
    std::vector<std::wstring> parts;
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = list.find(L';', start);
        if (end == std::wstring::npos) end = list.size();
        std::wstring part = list.substr(start, end - start);
        if (part.size() >= 2 && part.front() == L'"' && part.back() == L'"') part = part.substr(1, part.size() - 2);
        if (!part.empty()) parts.push_back(std::move(part));
        start = end + 1;
    }
    return parts;
}

std::wstring systemFolder(UINT(WINAPI* get)(LPWSTR, UINT)) {
    wchar_t folder[MAX_PATH + 1];
    const UINT length = get(folder, MAX_PATH + 1);
    return length == 0 || length > MAX_PATH ? std::wstring() : std::wstring(folder, length);
}

std::wstring currentFolder() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return {};
    std::wstring folder(size, L'\0');
    folder.resize(GetCurrentDirectoryW(size, folder.data()));
    return folder;
}

bool isFile(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The file the App Paths key of `name` under `root` registers, when it exists.
bool registeredProgram(HKEY root, const std::wstring& name, std::wstring& found) {
    const std::wstring key = kAppPathsKey + name;
    DWORD size = 0;
    // REG_SZ takes REG_EXPAND_SZ values too, and expands them.
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value.data(), &size) != ERROR_SUCCESS)
        return false;
    value.resize(wcsnlen(value.c_str(), value.size()));
    // Installers often write the path in quotes.
    if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"') value = value.substr(1, value.size() - 2);
    if (!isFile(value)) return false;
    found = std::move(value);
    return true;
}

} // namespace

bool isBareProgramName(const std::wstring& name) { return name.find_first_of(L"\\/:") == std::wstring::npos; }

bool searchProgram(const std::wstring& name, std::wstring& found) {
    if (name.empty() || !isBareProgramName(name)) return false;
    // A name without an extension is tried with each extension a start
    // would add, in the order PATHEXT gives, in each folder before the next.
    const bool hasExtension = name.find(L'.') != std::wstring::npos;
    std::vector<std::wstring> candidates{name};
    if (!hasExtension) {
        std::wstring extensions = environmentVariable(L"PATHEXT");
        if (extensions.empty()) extensions = kDefaultExtensions;
        candidates.clear();
        for (const std::wstring& extension : listParts(extensions)) candidates.push_back(name + extension);
    }
    std::vector<std::wstring> folders{currentFolder(), systemFolder(GetWindowsDirectoryW),
                                      systemFolder(GetSystemDirectoryW)};
    for (std::wstring& folder : listParts(environmentVariable(L"PATH"))) folders.push_back(std::move(folder));
    for (const std::wstring& folder : folders) {
        if (folder.empty()) continue;
        const std::wstring prefix = folder.back() == L'\\' || folder.back() == L'/' ? folder : folder + L'\\';
        for (const std::wstring& candidate : candidates) {
            if (!isFile(prefix + candidate)) continue;
            found = prefix + candidate;
            return true;
        }
    }
    const std::wstring registered = hasExtension ? name : name + L".exe";
    return registeredProgram(HKEY_CURRENT_USER, registered, found) ||
           registeredProgram(HKEY_LOCAL_MACHINE, registered, found);
}

} // namespace procguard
