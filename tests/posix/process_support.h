// Helpers for the Linux backend tests that start real processes.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "test_support.h"

namespace procguard::test {

// A fresh folder under /tmp, readable by every user, removed with its
// contents at the end of the scope.
struct TempFolder {
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string path;
};

// Path of a test program built beside the running test binary.
std::string testProgramPath(const std::string& name);

// Copies a test program into `folder` (under `newName` if given), so a test
// has an image path no other process shares.
std::string copyTestProgram(const std::string& name, const std::string& folder, const std::string& newName = "");

// The first process (by enumerateProcessIds) whose image path is `path`,
// waited for up to `limit`; 0 if none appeared.
ProcessId waitForProcessWithPath(const std::wstring& path, std::chrono::milliseconds limit = std::chrono::seconds(10));

// Starts a program directly (not through the code under test) and returns
// its pid, or -1; the caller ends it with endChild(). With `pipeTo` set, the
// program's descriptor `pipeTo` is the write end of a fresh pipe, whose read
// end goes to `readEnd`, and its other output goes to /dev/null.
pid_t spawnDirectly(const std::string& path, const std::vector<std::string>& arguments, int pipeTo = -1,
                    int* readEnd = nullptr);

// Sends `signal` (none for 0) to a child, waits up to `grace` for it to end,
// kills it if it has not, and collects it. Returns its wait status.
int endChild(pid_t pid, int signal = SIGKILL, std::chrono::milliseconds grace = std::chrono::seconds(5));

// The state letter ('R', 'S', 'Z', ... or 0 when gone), the parent and the
// process group of a process, from /proc/PID/stat.
struct ProcessStat {
    char state = 0;
    pid_t parent = 0;
    pid_t group = 0;
};
ProcessStat readProcessStat(pid_t pid);
inline char processState(pid_t pid) { return readProcessStat(pid).state; }

// Pids of the running (not zombie) processes whose executable is `path`.
std::vector<pid_t> runningInstancesOf(const std::string& path);

// Children of `parent` that have ended and were not collected.
int zombieChildrenOf(pid_t parent);

// Every process in process group `group`, zombies included.
std::vector<pid_t> membersOfGroup(pid_t group);

// Kills every running instance of the executable at `path` and waits until
// none is left.
void killInstancesOf(const std::string& path);

// The test HTTP server (tests/programs/http_server.cpp), started for a test
// and ended with it; `port` is empty when it did not come up.
struct HttpServer {
    HttpServer();
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;
    std::wstring url(const std::string& path) const;
    bool received(const std::string& path) const; // a request for `path` was read
    TempFolder folder;
    std::string report;
    pid_t pid = -1;
    std::string port;
};

// Writes `bytes` to `path` as they are.
void writeBytes(const std::string& path, const std::string& bytes);

std::wstring widen(const std::string& utf8);

// Whether this thread has a capability (CAP_KILL, ...) in its permitted
// set, or with `effective` in its effective set.
bool hasCapability(int capability, bool effective = false);

// Whether CAP_SYS_PTRACE and CAP_KILL, the debug privilege, are permitted.
// The tests of the side with the privilege need them and fail without: run
// the suite as root, as CI does.
bool debugCapabilitiesPermitted();
inline constexpr const char* kRunAsRoot =
    "needs CAP_SYS_PTRACE and CAP_KILL in the permitted set: run the tests as root, as CI does";

// Lowers capabilities (CAP_DAC_OVERRIDE, ...) from the effective set of this
// thread for the life of the object, so that root meets the permission
// checks an ordinary user meets; nothing to lower for an ordinary user.
class LoweredCapabilities {
public:
    explicit LoweredCapabilities(const std::vector<int>& capabilities);
    ~LoweredCapabilities();
    LoweredCapabilities(const LoweredCapabilities&) = delete;
    LoweredCapabilities& operator=(const LoweredCapabilities&) = delete;

private:
    std::vector<int> lowered_;
};

} // namespace procguard::test
