#include "win32/process_support.h"

#include "health_probe_run.h"
#include "target/process_lookup.h"

#include <vector>

namespace procguard::test {

namespace {

std::wstring folderOfThisBinary() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// Absolute paths with this prefix reach names that end in a dot or a blank,
// and folders deeper than the usual limit.
std::wstring verbatim(const std::wstring& path) { return L"\\\\?\\" + path; }

} // namespace

std::wstring testProgramPath(const std::wstring& name) { return folderOfThisBinary() + name + L".exe"; }

ChildProcess::~ChildProcess() {
    if (handle == nullptr) return;
    if (WaitForSingleObject(handle, 0) == WAIT_TIMEOUT) {
        TerminateProcess(handle, 0);
        WaitForSingleObject(handle, 5000);
    }
    CloseHandle(handle);
}

bool startTestProgram(const std::wstring& name, const std::wstring& arguments, ChildProcess& child) {
    const std::wstring path = testProgramPath(name);
    std::wstring commandLine = L"\"" + path + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &started))
        return false;
    CloseHandle(started.hThread);
    child.id = started.dwProcessId;
    child.handle = started.hProcess;
    return true;
}

WindowHandle waitUntilHung(ProcessId id, std::uint32_t timeoutMs) {
    const std::wstring readyName = L"procguard_hung_window_" + std::to_wstring(id);
    const bool hung = waitUntil(
        [&] {
            HANDLE ready = OpenEventW(SYNCHRONIZE, FALSE, readyName.c_str());
            if (ready != nullptr) CloseHandle(ready);
            return ready != nullptr;
        },
        std::chrono::milliseconds(timeoutMs));
    return hung ? findProcessWindow(id) : 0;
}

bool waitForExit(HANDLE process, std::uint32_t timeoutMs) {
    return WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
}

void terminateInstancesOf(const std::wstring& path) {
    std::vector<ProcessId> ids;
    if (!enumerateProcessIds(ids)) return;
    const std::wstring wanted = foldPathCase(path);
    for (ProcessId id : ids)
        if (id != 0 && foldPathCase(getProcessImagePath(id)) == wanted) terminateProcess(HeldProcess{id, -1}, 5000);
}

int runningInstancesOf(const std::wstring& path) {
    std::vector<ProcessId> ids;
    enumerateProcessIds(ids);
    int count = 0;
    for (ProcessId id : ids)
        if (id != 0 && foldPathCase(getProcessImagePath(id)) == foldPathCase(path)) ++count;
    return count;
}

HttpServer::HttpServer() : folder(makeScratchFolder(L"http")), report(folder + L"\\report") {
    if (startTestProgram(L"http_server", L"\"" + report + L"\"", process))
        waitUntil([&] { return !(port = reportedPort(report)).empty(); });
}

HttpServer::~HttpServer() {
    if (process.handle != nullptr) {
        TerminateProcess(process.handle, 0);
        WaitForSingleObject(process.handle, 5000);
    }
    removeFolderTree(folder);
}

std::wstring HttpServer::url(const std::string& path) const { return localUrl(port, path); }

bool HttpServer::received(const std::string& path) const { return serverReceived(report, path); }

std::wstring makeScratchFolder(const std::wstring& tag) {
    static unsigned serial = 0;
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring base(temp, length);
    if (!base.empty() && base.back() != L'\\') base += L'\\';
    for (;;) {
        const std::wstring folder = base + L"procguard_" + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                    std::to_wstring(++serial);
        if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return L"";
    }
}

void removeFolderTree(const std::wstring& folder) {
    if (folder.empty()) return;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(verbatim(folder + L"\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeFolderTree(path);
            else
                DeleteFileW(verbatim(path).c_str());
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(verbatim(folder).c_str());
}

bool writeFileBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return wrote && written == bytes.size();
}

std::string readFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool fileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

StandardHandleSwap::StandardHandleSwap(DWORD which, HANDLE replacement, bool owned)
        : which_(which), previous_(GetStdHandle(which)), replacement_(replacement), owned_(owned) {
    if (replacement != INVALID_HANDLE_VALUE) SetStdHandle(which, replacement);
}

StandardHandleSwap::~StandardHandleSwap() {
    SetStdHandle(which_, previous_);
    if (owned_ && replacement_ != INVALID_HANDLE_VALUE) CloseHandle(replacement_);
}

CapturedRun runWithoutConsole(const std::wstring& commandLine, std::uint32_t timeoutMs, const std::string& input) {
    CapturedRun run;
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE outputRead = nullptr, outputWrite = nullptr, inputRead = nullptr, inputWrite = nullptr;
    if (!CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) return run;
    if (!CreatePipe(&inputRead, &inputWrite, &inheritable, 0)) {
        CloseHandle(outputRead);
        CloseHandle(outputWrite);
        return run;
    }
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
    // The whole input fits the pipe's buffer of a few kilobytes, so it is
    // written before the child starts; then the child's input is at its end.
    DWORD written = 0;
    if (!input.empty()) WriteFile(inputWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    CloseHandle(inputWrite);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputRead;
    startup.hStdOutput = outputWrite;
    startup.hStdError = outputWrite;
    PROCESS_INFORMATION started = {};
    std::wstring line = commandLine;
    run.started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                                 &startup, &started);
    CloseHandle(inputRead);
    CloseHandle(outputWrite);
    if (!run.started) {
        CloseHandle(outputRead);
        return run;
    }
    CloseHandle(started.hThread);

    // Polled rather than read to the end: a process the child started may
    // hold the pipe open long after the child itself has ended.
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD available = 0;
        if (PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            std::string chunk(available, '\0');
            DWORD read = 0;
            if (ReadFile(outputRead, chunk.data(), available, &read, nullptr)) run.output.append(chunk, 0, read);
            continue;
        }
        if (WaitForSingleObject(started.hProcess, 0) == WAIT_OBJECT_0) {
            // One last look: output written just before the end.
            if (PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr) && available > 0) continue;
            break;
        }
        if (GetTickCount64() >= deadline) {
            run.timedOut = true;
            TerminateProcess(started.hProcess, 1);
            WaitForSingleObject(started.hProcess, 5000);
            break;
        }
        Sleep(10);
    }
    GetExitCodeProcess(started.hProcess, &run.exitCode);
    CloseHandle(started.hProcess);
    CloseHandle(outputRead);
    return run;
}

std::wstring hostPathToWindows(const std::string& path) {
    // Wine shows the root of the Linux file system as drive Z:.
    const std::string full = !path.empty() && path.front() == '/' ? "Z:" + path : path;
    std::wstring wide(full.begin(), full.end());
    for (wchar_t& unit : wide)
        if (unit == L'/') unit = L'\\';
    return wide;
}

std::wstring sourceTreePath(const std::string& relative) {
    return hostPathToWindows(std::string(PROCGUARD_SOURCE_DIR) + "/" + relative);
}

} // namespace procguard::test
