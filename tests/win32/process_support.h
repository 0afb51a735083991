// Helpers the Win32 tests share: the test programs beside the test binary,
// child processes that never outlive a test, scratch folders, and runs of a
// program with its output captured.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace procguard::test {

// Full path of tests/programs/win32/<name>.cpp as built, beside this binary.
std::wstring testProgramPath(const std::wstring& name);

// A started child; the destructor terminates it if it still runs.
struct ChildProcess {
    ProcessId id = 0;
    HANDLE handle = nullptr;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();
};

// Starts the test program `name` with `arguments`; false when it could not start.
bool startTestProgram(const std::wstring& name, const std::wstring& arguments, ChildProcess& child);

// Waits until a hung window_target has stopped pumping messages; its
// window, returned, will not answer from then on. 0 when it did not get there.
WindowHandle waitUntilHung(ProcessId id, std::uint32_t timeoutMs);

// Whether the process has ended within `timeoutMs`.
bool waitForExit(HANDLE process, std::uint32_t timeoutMs);

// Terminates every running instance of the program at `path` (case folded).
void terminateInstancesOf(const std::wstring& path);

// The test HTTP server (tests/programs/http_server.cpp), started for a test
// and ended with it; `port` is empty when it did not come up.
struct HttpServer {
    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    std::wstring url(const std::string& path) const;
    bool received(const std::string& path) const; // a request for `path` was read
    std::wstring folder;
    std::wstring report;
    ChildProcess process;
    std::string port;
};

// How many running processes have the image `path` (case folded).
int runningInstancesOf(const std::wstring& path);

// A fresh, empty folder under the temp folder; removed with everything in it
// by removeFolderTree.
std::wstring makeScratchFolder(const std::wstring& tag);
void removeFolderTree(const std::wstring& folder);

bool writeFileBytes(const std::wstring& path, const std::string& bytes);
std::string readFileBytes(const std::wstring& path);
bool fileExists(const std::wstring& path);

// Puts `replacement` in place of a standard handle for the life of the
// object; with `owned`, closes it afterwards.
class StandardHandleSwap {
public:
    StandardHandleSwap(DWORD which, HANDLE replacement, bool owned = false);
    ~StandardHandleSwap();
    StandardHandleSwap(const StandardHandleSwap&) = delete;
    StandardHandleSwap& operator=(const StandardHandleSwap&) = delete;

private:
    DWORD which_;
    HANDLE previous_;
    HANDLE replacement_;
    bool owned_;
};

struct CapturedRun {
    bool started = false;
    bool timedOut = false; // killed after the time limit
    DWORD exitCode = 0;
    std::string output; // standard output and standard error, as written
};

// Runs `commandLine` without a console (as an unattended watchdog runs),
// standard input holding `input` and then at its end, and its output
// captured; kills it after `timeoutMs`.
CapturedRun runWithoutConsole(const std::wstring& commandLine, std::uint32_t timeoutMs, const std::string& input = "");

// A path the build wrote down on the build machine (/tmp/build/x.exe) as this
// system sees it (Z:\tmp\build\x.exe); Windows paths stay as they are.
std::wstring hostPathToWindows(const std::string& path);

// A file of the source tree (given relative to its root, with forward
// slashes) as a Windows path.
std::wstring sourceTreePath(const std::string& relative);

} // namespace procguard::test
