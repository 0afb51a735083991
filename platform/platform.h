// The one seam between procguard and the operating system.
//
// Every function here is defined once per backend: platform/win32 (the home
// platform), platform/posix (Linux) and platform/fake (an in-memory system the
// unit tests link instead of a real one). The build links exactly one of them;
// nothing outside platform/ includes an OS header.
//
// The functions report raw facts; the rules of the program built on them
// ("<unknown>" for an image that cannot be read, how a config file name
// becomes a path, the length of a value read, an empty value meaning the
// default) are applied once, above the seam.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace procguard {

using ProcessId = std::uint32_t;     // 0 is never a process: it means "none"
using WindowHandle = std::uintptr_t; // 0: no window
using TokenHandle = std::uintptr_t;  // 0: no token

// A privilege as the token functions know it (a LUID on Windows, a set of
// capabilities on Linux).
struct PrivilegeId {
    std::uint64_t value = 0;
};

// The outcome of an OS call whose failure is reported to the user. `error`
// is the system's own message, already translated at the seam.
struct OsResult {
    bool ok = true;
    std::wstring error;
};

// ---- Processes -------------------------------------------------------------

// A process held on to between checks: its id, and what the platform gives to
// reach that very process (a pidfd on Linux, a process handle on Windows). A
// later process that takes over a recycled id is never mistaken for it.
//
// A target the watchdog started is held with its tree: the processes it
// starts belong to it, and probing and terminating reach all of them
// (Windows: a job object of its own; Linux: its process group, which
// startProcess makes the target's own). A found process is its own process
// only. A descendant that leaves the tree (setsid, a job breakaway) is out of
// reach.
struct HeldProcess {
    ProcessId id = 0;          // 0: no process
    std::intptr_t handle = -1; // the backend's; -1: known by its id only (it could not be opened)
    std::intptr_t tree = -1;   // Windows: the job handle; Linux: the process group; -1: no tree
};

// Replaces `ids` with the ids of all running processes in the platform's
// order. Never stops at a fixed count: the buffer grows until every id fits.
// Returns false (and leaves `ids` empty) when the enumeration failed.
bool enumerateProcessIds(std::vector<ProcessId>& ids);

// Full path of the executable image of a process; false when it cannot be
// read. Paths of any length the platform allows are read whole.
bool readProcessImagePath(ProcessId id, std::wstring& path);

// The form in which two image paths are compared: Windows folds each code
// unit with towlower; Linux file names are case-sensitive, so a path is
// compared as it stands.
std::wstring foldPathCase(const std::wstring& path);

// The file a start of `path` runs, named as process images are: absolute
// against the current directory, with every symbolic link resolved (Linux,
// realpath) or in its full long form (Windows, GetFullPathNameW and
// GetLongPathNameW). False when it cannot be resolved (the file is missing).
bool resolveTargetPath(const std::wstring& path, std::wstring& resolved);

// Opens process `id` to hold it (Linux: pidfd_open; Windows: OpenProcess for
// synchronize, query and terminate, with less access where that is refused).
// The result has handle -1 when the process cannot be opened.
HeldProcess holdProcess(ProcessId id);

// True once a held process has ended; false for one known by its id only.
bool processHasEnded(const HeldProcess& process);

// Image path of a held process, read through what holds it; false when it
// cannot be read or the process has ended.
bool readHeldImagePath(const HeldProcess& process, std::wstring& path);

// True when the held process is still running the very file `path` names
// now, by the file system's identity of the two (Linux: device and inode);
// false when it is not, when that cannot be told, or when the process has
// ended. A quick answer for every check of a held target: false makes the
// caller compare image paths instead (Windows always answers false, its
// path calls being cheap).
bool heldProcessRuns(const HeldProcess& process, const std::wstring& path);

// The ids of the processes of a held target's tree that are still running,
// the held process first where it still runs: the job's processes
// (Windows), the members of the process group that are not zombies
// (Linux). Just the process itself for one without a tree, also once it has
// ended; empty for id 0.
std::vector<ProcessId> listTreeProcesses(const HeldProcess& process);

// Closes what holdProcess or startProcess opened (the job handle too; on
// Linux also collecting a started process that has ended) and leaves
// `process` empty. The process and its tree go on.
void releaseProcess(HeldProcess& process);

// The processes this watchdog started are its children on Linux: once ended
// they stay zombies until collected. So are the descendants of its targets
// that are orphaned (the watchdog is their subreaper, see startProcess).
// Collects those that have ended (never waits, never takes the exit of a
// child other code started and waits for); nothing to do on Windows. Every
// check calls it first.
void collectEndedProcesses();

// Starts `path` with the argument line `arguments` (Windows command-line
// quoting rules on every platform) and holds the started process in
// `started` where the platform gives one (id 0 where it does not: a
// document handed to a program that was already running). `ok` is false,
// with the system's reason, when the start failed.
//
// The started process is held with its tree. Windows: it is put into a job
// object of its own right after the start, and so are the processes it
// started before that (found by parent id and creation time); the job
// outlives the watchdog, as the target does. Where no job can be made or the
// process cannot join it (it ended at once, or the system refused nesting),
// `tree` stays -1 and only the process itself is held. Linux: the target
// leads a session and process group of its own, and the first start makes
// the watchdog the subreaper of its descendants, so that it collects the
// orphans of a tree it terminates.
OsResult startProcess(const std::wstring& path, const std::wstring& arguments, HeldProcess& started);

// True when `path` names an existing folder, which is never started: on
// Windows the shell would open it in a file manager window at every check.
bool isFolder(const std::wstring& path);

// Terminates a process and waits at most `timeoutMs` for it to end. True when
// it has ended within that time. A held process is terminated through what
// holds it; one known by its id only is opened by that id first. A process
// held with its tree is terminated with all of it (Windows:
// TerminateJobObject; Linux: SIGKILL to the process group, the leader through
// its pidfd), and true means every process of the tree has ended (Linux:
// zombies whose parent is not the watchdog count as ended; those of the
// watchdog are collected).
bool terminateProcess(const HeldProcess& process, std::uint32_t timeoutMs);

// The result of writeDump: the file written, or why there is none.
struct DumpResult {
    bool ok = false;
    std::wstring file;  // the dump's full path, when ok
    std::wstring error; // why there is no dump in the folder, when not ok
};

// The longest a dump may take; then writeDump gives up and says so.
inline constexpr std::uint32_t kDumpTimeLimitMs = 30000;

// Writes a memory dump of a held process into `folder` (created when
// missing), named after the file name of `program` without its extension,
// the process id and the UTC time: render_4242_20261209T143005Z.dmp
// (Windows) or .core (Linux). Takes at most kDumpTimeLimitMs; a stop request
// cuts it short. Either way the caller terminates the process afterwards.
//
// Windows: MiniDumpWriteDump with thread and handle data; the process goes
// on running. A dump that is cut short goes on in the background until the
// process ends, and its file is deleted.
//
// Linux: the kernel's own core dump, which ENDS THE PROCESS: its core limit
// is raised (prlimit), it gets SIGABRT (and SIGCONT, in case it is stopped),
// and once it has ended its core file is moved from where
// /proc/sys/kernel/core_pattern put it into the folder. Where the pattern
// hands cores to a program ('|', e.g. systemd-coredump), the process is ended
// the same way, and the result says that the handler took the core. A process
// that ignores or blocks SIGABRT is left running, with the reason. Only the
// held process is dumped, not the rest of its tree.
DumpResult writeDump(const HeldProcess& process, const std::wstring& folder, const std::wstring& program);

void sleepMilliseconds(std::uint32_t ms);

// How a wait for the check period ended.
enum class PeriodEnd { TimePassed, Stopped, TargetEnded };

// Waits `ms` milliseconds like sleepMilliseconds, but also ends as soon as
// the held process `target` ends (Linux: ppoll on the stop pipe and the
// pidfd; Windows: WaitForMultipleObjects on the stop event and the process
// handle). A stop request wins over a target that ends at the same time; a
// target that has already ended ends the wait at once. Without a handle
// (id 0, or known by its id only) it is sleepMilliseconds.
PeriodEnd waitForCheckPeriod(std::uint32_t ms, const HeldProcess& target);

// Milliseconds of a clock that never goes back (not the wall clock), from an
// unspecified start.
std::int64_t monotonicMilliseconds();

// ---- Windows of a process ----------------------------------------------------

// The top-level windows the process owns, in the platform's enumeration
// order; empty when the enumeration failed.
std::vector<WindowHandle> listProcessWindows(ProcessId id);

// The first top-level window of the process that still exists, or 0.
WindowHandle findProcessWindow(ProcessId id);

// Sends the window a null message and waits at most `timeoutMs` for the
// answer. False when it did not answer (time-out, hung, or gone).
bool windowAnswers(WindowHandle window, std::uint32_t timeoutMs);

// ---- Files ---------------------------------------------------------------------

// Number of directory entries a wildcard search for `mask` returns; never
// negative, 0 when the search cannot start. Prints nothing.
std::int32_t countMatchingFiles(const std::wstring& mask);

// ---- Profile (config) files ------------------------------------------------------

// The current directory followed by the path separator.
std::wstring currentDirectoryPrefix();

// Whether a config file name is used as it stands rather than behind the
// current directory (Windows: its second character is a colon; Linux: it
// begins with '/').
bool isCompleteFileName(const std::wstring& fileName);

// The value stored under section/key in the profile file at `path`, as
// stored (a backend may cut it to what its calls can hold); empty when the
// file, section or key is missing or the value is empty.
std::wstring readProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path);

// Stores `text` under section/key, creating file, section and key as needed
// and keeping every other line.
OsResult writeProfileValue(const std::wstring& section, const std::wstring& key, const std::wstring& path,
                           const std::wstring& text);

// Whether the profile file at `path` has a section of that name (false also
// when the file cannot be read).
bool hasProfileSection(const std::wstring& section, const std::wstring& path);

// Whether `path` names an existing file whose keys can be read; `error` says
// why not (Linux: also a text encoding its profile code cannot read).
OsResult checkReadableFile(const std::wstring& path);

// ---- Thread token and debug privilege ------------------------------------------

// The calling thread's token, opened for adjusting privileges and query, or 0.
TokenHandle acquireThreadToken();

// Looks up the debug privilege on the local system.
bool lookupDebugPrivilege(PrivilegeId& privilege);

// Enables or disables `privilege` on `token`; true on success.
bool setPrivilege(TokenHandle token, PrivilegeId privilege, bool enable);

// ---- Console ---------------------------------------------------------------------

// Appends the console input that is available (blocking until some is, a
// whole line on an interactive console) to `text`. False at end of input.
bool readConsoleInput(std::wstring& text);

// Writes wide text to the console output, unbuffered.
void writeConsole(const std::wstring& text);

// Drops keystrokes typed before the call, then waits for one more keystroke
// and drops it. Returns at once when there is no keyboard (no console, no
// controlling terminal), so an unattended watchdog never waits forever.
void waitForKeystroke();

// ---- Stopping ----------------------------------------------------------------------

// Whether the user or the system asked the watchdog to stop: Ctrl+C, SIGTERM or
// SIGHUP on Linux; Ctrl+C, Ctrl+Break, closing the console, logoff or shutdown
// on Windows. Once true it stays true. From then on sleepMilliseconds and
// waitForKeystroke return at once, also when the stop arrives while they
// wait, and readConsoleInput reports the end of input. initializePlatform
// installs what catches these; before it they act as they always do.
bool stopRequested();

// ---- Event log file --------------------------------------------------------------

// Appends `line` (whole, its line end included) to the file at `path` with a
// single write, creating the file when it is missing. The file stays open
// between calls and is opened again when `path` no longer names it (renamed
// away by log rotation, or deleted), so each line goes to the file that has
// the name at the time. Never blocks on a reader (a FIFO without one fails).
OsResult appendToFile(const std::wstring& path, std::string_view line);

// The current time for event log lines.
std::chrono::system_clock::time_point wallClockNow();

// ---- Entry -------------------------------------------------------------------------

// Prepares the process, first thing in main: a console whose reader is gone
// must not kill the watchdog (Linux: SIGPIPE), and a stop request is caught
// (see stopRequested). Calling it again changes nothing.
void initializePlatform();

// Command-line argument `index` (1 = the first after the program name) as wide
// text, decoded the platform's way.
std::wstring programArgument(int argc, char** argv, int index);

// Whether "/?" asks for help, as it does for Windows programs; on Linux it is
// a file name like any other.
bool slashQuestionMarkAsksForHelp();

} // namespace procguard
