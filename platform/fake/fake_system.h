// An in-memory system for the unit tests: a process table with scripted
// windows, a scripted console, a manual clock, scripted file counts and an
// in-memory profile store. Linked in place of a real backend; nothing here
// sleeps, spawns or touches the disk.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace procguard::fake {

struct FakeWindow {
    WindowHandle handle = 0;
    bool answers = true;   // windowAnswers() result
    bool vanishes = false; // gone between enumeration and the ownership check
};

struct FakeProcess {
    ProcessId id = 0;
    std::wstring imagePath; // "" reads as "<unknown>"
    std::vector<FakeWindow> windows;
    bool terminable = true;    // terminateProcess() succeeds and removes it
    bool holdable = true;      // holdProcess() can open it
    ProcessId tree = 0;        // the started target whose tree it belongs to; 0: none
    bool kernelThread = false; // isKernelThread() reports it
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
    // A started target appears in the table (with its path, or with
    // `startedImagePath` when that is set: a script runs as its interpreter)
    // unless this is false; the start gives the process unless
    // `startsGiveAProcess` is false (a document handed to a running program).
    bool startedProcessesRun = true;
    std::wstring startedImagePath;
    bool startsGiveAProcess = true;
    // A started target is held with its tree (HeldProcess::tree is its id)
    // unless this is false, as where no job could be made for it.
    bool startsMakeTrees = true;
    // Starts of these paths fail with `startError`.
    std::vector<std::wstring> failingStarts;
    std::wstring startError = L"The system cannot find the file specified.";
    std::vector<StartRecord> starts;
    std::vector<ProcessId> terminated; // ids passed to terminateProcess, in order
    // writeDump: fails with `dumpError` while `dumpsFail`, else "writes"
    // folder\<dump name>.dmp, recorded in `dumps`; with `dumpEndsProcess` the
    // process ends as a Linux core dump ends it.
    bool dumpsFail = false;
    std::wstring dumpError = L"the process did not end within 30 s of SIGABRT";
    bool dumpEndsProcess = false;
    std::vector<std::wstring> dumps;
    std::vector<WindowHandle> probed; // windows passed to windowAnswers
    bool windowEnumerationFails = false;
    int enumerations = 0; // calls of enumerateProcessIds
    int heldHandles = 0;  // processes held and not yet released
    // resolveTargetPath: typed path -> resolved path; others cannot be resolved.
    std::map<std::wstring, std::wstring> resolvedPaths;
    std::vector<std::wstring> folders;       // paths isFolder() reports
    std::vector<std::wstring> existingFiles; // paths fileExists() reports, besides the folders
    // searchProgram: bare name -> the program its search finds; others are not found.
    std::map<std::wstring, std::wstring> searchablePrograms;
    // The calls that make up a check and the end of a run, in the order they
    // came, with the values that tell them apart: "sleep 500", "enumerate",
    // "probe 77 1000" (window, timeout), "terminate 1000 1000" (id, timeout),
    // "start C:\\x.exe", "privilege off", "print <text>", "key",
    // "wait 500 1000" (waitForCheckPeriod: period, target id), "dump 1000
    // C:\\Dumps" (id, folder).
    std::vector<std::wstring> calls;
    // Image paths compare as on Windows (case folded) unless this is false,
    // and "/?" asks for help unless this is false.
    bool foldCase = true;
    bool slashHelp = true;

    // Manual clock, the monotonic one: sleeps advance it and are recorded.
    std::uint64_t clockMs = 0;
    std::vector<std::uint32_t> sleeps;
    // Called during each sleep with its number (1: the first), for a test
    // that changes the system while the watchdog sleeps. A waitForCheckPeriod
    // counts as a sleep: it is recorded in `sleeps` and calls this too, and
    // a held target that this removes ends the wait `targetEndsAfterMs` into
    // it (the clock moves that far, not the whole period). A target that
    // ended before the wait ends it at once.
    std::function<void(std::size_t)> duringSleep;
    std::uint32_t targetEndsAfterMs = 0;
    // The wall clock of event log lines: 2026-12-07T17:08:09.123Z plus the
    // manual clock.
    std::int64_t wallClockStartMs = 1796663289123;

    // A stop request (Ctrl+C, SIGTERM, ...): console input ends.
    bool stopRequested = false;

    // The event log file: every line appended, and the path of the last
    // append. While `logWritesFail`, appends fail with `logError`.
    std::wstring logPath;
    std::string logText;
    bool logWritesFail = false;
    std::wstring logError = L"Access is denied.";

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

    // Health probes. Each probe is a call: "get <url> <timeout>", "command
    // <line> <timeout>", "memory <id>", "modified <path>". What the tables
    // do not name is healthy: a URL answers 200, a command exits with 0, a
    // URL and a command line pass their checks.
    std::map<std::wstring, Result> urlAnswers;     // probeHealthUrl, by URL
    std::map<std::wstring, Result> urlChecks;      // checkHealthUrl, by URL
    std::map<std::wstring, Result> commandResults; // runHealthCommand, by command line
    std::map<std::wstring, Result> commandChecks;  // checkHealthCommand, by command line
    // readResidentMemory, by process id: readable only for a held process
    // that is in the table and listed here.
    std::map<ProcessId, std::uint64_t> residentBytes;
    // fileModificationTime, by path; a path not listed is a missing file.
    std::map<std::wstring, std::chrono::system_clock::time_point> fileTimes;
    // Called during each URL or command probe with its call, for a test that
    // changes the system while one runs (a stop request, the clock moving on).
    std::function<void(const std::wstring&)> duringProbe;
};

// The one fake system; reset it at the start of every test (together with
// the console's answer buffer, which lives above the seam: see
// tests/unit_support.h).
FakeSystem& system();
void reset();

// Adds a process and returns its id.
ProcessId addProcess(const std::wstring& imagePath, std::vector<FakeWindow> windows = {});
// Adds a process to the tree of the started target `tree` (a child it
// started) and returns its id.
ProcessId addTreeProcess(ProcessId tree, const std::wstring& imagePath, std::vector<FakeWindow> windows = {});
// Removes a process (it ended).
void removeProcess(ProcessId id);

} // namespace procguard::fake
