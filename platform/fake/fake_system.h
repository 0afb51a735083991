// An in-memory system for the unit tests: a process table with scripted
// windows, a scripted console, a manual clock, scripted file counts and an
// in-memory profile store. Linked in place of a real backend; nothing here
// sleeps, spawns or touches the disk.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace procguard::fake {

struct FakeWindow {
    WindowHandle handle = 0;
    bool answers = true;      // windowAnswers() result
    bool vanishes = false;    // gone between enumeration and the ownership check
};

struct FakeProcess {
    ProcessId id = 0;
    std::wstring imagePath;   // "" reads as "<unknown>"
    std::vector<FakeWindow> windows;
    bool terminable = true;   // terminateProcess() succeeds and removes it
};

struct StartRecord {
    std::wstring path;
    std::wstring arguments;
};

struct ProfileWrite {
    std::wstring section, key, path, text; // path: as resolved
};

struct FakeSystem {
    // Processes, in enumeration order.
    std::vector<FakeProcess> processes;
    bool enumerationFails = false;
    ProcessId nextProcessId = 1000;
    // A started target appears in the table (with its path) unless this is false.
    bool startedProcessesRun = true;
    // Starts of these paths fail with `startError`.
    std::vector<std::wstring> failingStarts;
    std::wstring startError = L"The system cannot find the file specified.";
    std::vector<StartRecord> starts;
    std::vector<ProcessId> terminated; // ids passed to terminateProcess, in order
    std::vector<WindowHandle> probed;  // windows passed to windowAnswers
    bool windowEnumerationFails = false;
    // The calls that make up a check and the end of a run, in the order they
    // came, with the values that tell them apart: "sleep 500", "enumerate",
    // "probe 77 1000" (window, timeout), "terminate 1000 1000" (id, timeout),
    // "start C:\\x.exe", "privilege off", "print <text>", "key".
    std::vector<std::wstring> calls;
    // Image paths compare as on Windows (case folded) unless this is false.
    bool foldCase = true;

    // Manual clock: sleeps advance it and are recorded.
    std::uint64_t clockMs = 0;
    std::vector<std::uint32_t> sleeps;

    // Console: input is handed out `inputChunk` characters at a time (0: all
    // at once); after the last character readConsoleInput reports the end.
    std::wstring input;
    std::size_t inputPos = 0;
    std::size_t inputChunk = 0;
    std::wstring output;
    int keyWaits = 0;
    // The console transcript with each key wait marked as "[key]".
    std::wstring transcript;

    // countMatchingFiles results by exact mask; unknown masks count 0.
    std::map<std::wstring, std::int32_t> fileCounts;
    std::vector<std::wstring> countedMasks;

    // Profile store: resolved path -> section -> key -> value (exact names).
    std::map<std::wstring, std::map<std::wstring, std::map<std::wstring, std::wstring>>> profiles;
    std::vector<ProfileWrite> profileWrites;
    std::vector<std::wstring> unwritablePaths; // writes there fail
    std::wstring currentDirectory = L"C:\\Work";

    // Token and privilege.
    bool tokenAvailable = true;
    bool privilegeGranted = true;
    std::vector<bool> privilegeChanges; // enable flags passed to setPrivilege, in order
};

// The one fake system; reset it at the start of every test. The reset also
// empties the console's answer buffer.
FakeSystem& system();
void reset();

// Adds a process and returns its id.
ProcessId addProcess(const std::wstring& imagePath, std::vector<FakeWindow> windows = {});
// Removes a process (it ended).
void removeProcess(ProcessId id);

} // namespace procguard::fake
