// Health commands on Windows.
//
// CreateProcessW runs the program itself, never cmd.exe, with no window
// (CREATE_NO_WINDOW: a console program gets no console either) and the null
// device as its standard handles. It starts suspended in a job of its own,
// so that a command that runs too long is ended with every process it
// started, as on Linux with its process group.
#include "platform/health_command.h"

#include <windows.h>

#include "platform/stop.h"
#include "platform/win32/stop.h"
#include "platform/win32/system_error.h"

namespace procguard {

namespace {

// How long a terminated command is given to end before it is let go.
constexpr DWORD kTerminatedEndMs = 1000;

// The program of a command line as Windows takes the first word of one:
// inside the first pair of double quotes, or up to the first blank or tab.
// `rest` is where the remainder of the line begins.
std::wstring programOf(const std::wstring& line, std::size_t& rest) {
    std::size_t begin = line.find_first_not_of(L" \t");
    if (begin == std::wstring::npos) {
        rest = line.size();
        return {};
    }
    if (line[begin] == L'"') {
        const std::size_t close = line.find(L'"', begin + 1);
        rest = close == std::wstring::npos ? line.size() : close + 1;
        return line.substr(begin + 1, (close == std::wstring::npos ? line.size() : close) - begin - 1);
    }
    rest = line.find_first_of(L" \t", begin);
    if (rest == std::wstring::npos) rest = line.size();
    return line.substr(begin, rest - begin);
}

Result startFailure(DWORD error, const std::wstring& program) {
    return failure(L"the command could not be started: " + systemErrorMessage(error, program));
}

} // namespace

Result checkHealthCommand(const std::wstring& commandLine) {
    std::size_t rest = 0;
    const std::wstring program = programOf(commandLine, rest);
    if (program.empty()) return failure(L"the command names no program");
    const DWORD attributes = GetFileAttributesW(program.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failure(program + L": " + systemErrorMessage(GetLastError(), program));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return failure(program + L" is a folder, not a program.");
    return {};
}

Result runHealthCommand(const std::wstring& commandLine, std::uint32_t timeoutMs) {
    // Once a stop was requested, no command is started only to be ended.
    if (stopRequested()) return failure(L"the check was cut short by a stop request");
    std::size_t rest = 0;
    const std::wstring program = programOf(commandLine, rest);
    if (program.empty()) return failure(L"the command names no program");
    // The program's own name comes first, quoted, as every Windows program
    // expects its command line to begin; the arguments as they were written.
    std::wstring line = L"\"" + program + L"\"" + commandLine.substr(rest);

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr);
    if (nul == INVALID_HANDLE_VALUE) return startFailure(GetLastError(), program);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION started{};
    const BOOL ok = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                   CREATE_NO_WINDOW | CREATE_SUSPENDED, nullptr, nullptr, &startup, &started);
    const DWORD startError = GetLastError();
    CloseHandle(nul);
    if (!ok) return startFailure(startError, program);

    // Without a job (Windows 7 refuses one inside another) only the command
    // itself is ended.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job != nullptr && !AssignProcessToJobObject(job, started.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);

    const HANDLE stop = stopEvent();
    const HANDLE waits[2] = {started.hProcess, stop};
    const DWORD waited = WaitForMultipleObjects(stop != nullptr ? 2 : 1, waits, FALSE, timeoutMs);
    Result result;
    if (waited == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(started.hProcess, &code);
        if (code != 0) result = failure(L"the command exited with " + std::to_wstring(code));
    } else {
        if (job == nullptr || !TerminateJobObject(job, 1)) TerminateProcess(started.hProcess, 1);
        WaitForSingleObject(started.hProcess, kTerminatedEndMs);
        result = failure(waited == WAIT_OBJECT_0 + 1
                             ? std::wstring(L"the check was cut short by a stop request")
                             : L"the command did not end within " + std::to_wstring(timeoutMs) + L" ms");
    }
    // Closing the job leaves what the command left running alone.
    if (job != nullptr) CloseHandle(job);
    CloseHandle(started.hProcess);
    return result;
}

} // namespace procguard
