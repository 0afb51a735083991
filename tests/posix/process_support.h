// Helpers for the Linux backend tests that start real processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

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

// Polls `condition` every few milliseconds until it holds or `limit` passes.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::seconds(10));

// The first process (by enumerateProcessIds) whose image path is `path`,
// waited for up to `limit`; 0 if none appeared.
ProcessId waitForProcessWithPath(const std::wstring& path,
                                 std::chrono::milliseconds limit = std::chrono::seconds(10));

// Starts a program directly (not through the code under test) and returns
// its pid; the caller reaps it with endChild().
pid_t spawnDirectly(const std::string& path, const std::vector<std::string>& arguments);

// Kills (if still running) and reaps a child started by spawnDirectly().
void endChild(pid_t pid);

// The state letter of /proc/PID/stat ('R', 'S', 'Z', ...), or 0 when gone.
char processState(pid_t pid);

// Reads a whole file; empty when it cannot be read.
std::string readFile(const std::string& path);

std::wstring widen(const std::string& utf8);

} // namespace procguard::test
