// Health commands on Linux.
//
// posix_spawn runs the program itself, never a shell. The command gets a
// session of its own, which is also a process group of its own: a Ctrl+C at
// the watchdog's terminal does not reach it, it cannot read that terminal,
// and a command that runs too long is ended with everything it started in
// its group. Only its own pid is ever waited for, through a pidfd where the
// kernel has them.
#include "platform/health_command.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "platform/clock.h"
#include "platform/posix/argument_split.h"
#include "platform/posix/children.h"
#include "platform/posix/pidfd.h"
#include "platform/posix/stop.h"
#include "platform/stop.h"
#include "platform/posix/system_error.h"

extern char** environ;

namespace procguard {

namespace {

// How long a command that got SIGKILL is given to end before it is left to
// the collection at the next check (one in uninterruptible sleep may take
// that long).
constexpr std::uint32_t kKilledEndMs = 1000;
// How often the wait without a pidfd looks whether the command has ended.
constexpr long long kEndPollMs = 2;

Result programFailure(const std::wstring& program, int error) {
    return failure(program + L": " + systemErrorMessage(error));
}

// Collects `pid` if it has ended; true then, with its wait status.
bool collected(pid_t pid, int& status) {
    pid_t result;
    do {
        result = waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    return result == pid;
}

enum class Ending { Exited, TimedOut, Stopped };

// Waits for the command's end, a stop request or the time limit, whichever
// comes first; collects the command when it has ended.
Ending waitForCommand(pid_t pid, int pidfd, std::uint32_t timeoutMs, int& status) {
    if (pidfd >= 0) {
        const WaitOutcome outcome = waitForInputOrStop(pidfd, timeoutMs);
        // The pidfd is readable once the command has ended: the wait that
        // collects it returns at once.
        if (outcome == WaitOutcome::Ready && waitpid(pid, &status, 0) == pid) return Ending::Exited;
        return outcome == WaitOutcome::Stopped ? Ending::Stopped : Ending::TimedOut;
    }
    const std::int64_t deadline = monotonicMilliseconds() + timeoutMs;
    for (;;) {
        if (collected(pid, status)) return Ending::Exited;
        const std::int64_t left = deadline - monotonicMilliseconds();
        if (left <= 0) return Ending::TimedOut;
        if (waitForInputOrStop(-1, left < kEndPollMs ? left : kEndPollMs) == WaitOutcome::Stopped)
            return Ending::Stopped;
    }
}

// Kills the command's process group and collects the command. One that does
// not end in time is remembered, so that a later check collects it.
void endCommand(pid_t pid, int pidfd) {
    // The group id is the command's pid, and cannot pass to another group
    // before the command itself has been collected.
    kill(-pid, SIGKILL);
    int status = 0;
    if (pidfd >= 0) {
        if (waitForProcessFd(pidfd, kKilledEndMs) && collected(pid, status)) return;
    } else {
        const std::int64_t deadline = monotonicMilliseconds() + kKilledEndMs;
        do {
            if (collected(pid, status)) return;
            // Not waitForInputOrStop: after a stop request it returns at once.
            const timespec pause{0, kEndPollMs * 1000000L};
            nanosleep(&pause, nullptr);
        } while (monotonicMilliseconds() < deadline);
    }
    if (!collected(pid, status)) rememberChild(pid);
}

std::wstring exitReason(int status) {
    if (WIFEXITED(status)) return L"the command exited with " + std::to_wstring(WEXITSTATUS(status));
    const int signalNumber = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return L"the command was ended by signal " + std::to_wstring(signalNumber) + L" (" +
           decodeUtf8(strsignal(signalNumber)) + L")";
}

// How every command is started, made once for the run: the attributes and
// file actions are the same for each, and a check should cost little more
// than the start and the wait (each file action made anew also looks up the
// descriptor limit).
struct Spawning {
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    int error = 0; // why they could not be made
};

const Spawning& spawning() {
    static const Spawning made = [] {
        Spawning s;
        s.error = posix_spawnattr_init(&s.attributes);
        if (s.error == 0) s.error = posix_spawn_file_actions_init(&s.actions);
        if (s.error != 0) return s;
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        const short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        s.error = posix_spawnattr_setflags(&s.attributes, flags);
        if (s.error == 0) s.error = posix_spawnattr_setsigmask(&s.attributes, &none);
        if (s.error == 0) s.error = posix_spawnattr_setsigdefault(&s.attributes, &all);
        if (s.error == 0) s.error = posix_spawn_file_actions_addopen(&s.actions, 0, "/dev/null", O_RDONLY, 0);
        if (s.error == 0) s.error = posix_spawn_file_actions_addopen(&s.actions, 1, "/dev/null", O_WRONLY, 0);
        if (s.error == 0) s.error = posix_spawn_file_actions_adddup2(&s.actions, 1, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
        if (s.error == 0) s.error = posix_spawn_file_actions_addclosefrom_np(&s.actions, 3);
#endif
        return s;
    }();
    return made;
}

// The words of the command line last run, kept: a check runs the same line
// every time.
struct SplitLine {
    std::wstring line;
    std::vector<std::string> words;
    std::vector<char*> argv;
};

const SplitLine& split(const std::wstring& commandLine) {
    static SplitLine last;
    if (last.line == commandLine && !last.argv.empty()) return last;
    last.line = commandLine;
    last.words.clear();
    for (const std::wstring& word : splitCommandLine(commandLine)) last.words.push_back(encodeUtf8(word));
    last.argv.clear();
    for (std::string& word : last.words) last.argv.push_back(word.data());
    last.argv.push_back(nullptr);
    return last;
}

} // namespace

Result checkHealthCommand(const std::wstring& commandLine) {
    const std::vector<std::wstring> words = splitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) return failure(L"the command names no program");
    const std::wstring& program = words[0];
    const std::string path = encodeUtf8(program);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return programFailure(program, errno);
    if (S_ISDIR(info.st_mode)) return failure(program + L" is a folder, not a program.");
    if (!S_ISREG(info.st_mode)) return programFailure(program, kNotRegularFile);
    if (access(path.c_str(), X_OK) != 0) return programFailure(program, errno);
    return {};
}

Result runHealthCommand(const std::wstring& commandLine, std::uint32_t timeoutMs) {
    // Once a stop was requested, no command is started only to be ended.
    if (stopRequested()) return failure(L"the check was cut short by a stop request");
    const SplitLine& command = split(commandLine);
    if (command.words.empty()) return failure(L"the command names no program");
    const Spawning& how = spawning();
    pid_t pid = 0;
    int error = how.error;
    if (error == 0)
        error = posix_spawn(&pid, command.argv[0], &how.actions, &how.attributes, command.argv.data(), environ);
    if (error != 0) return failure(L"the command could not be started: " + systemErrorMessage(error));

    // Not yet collected, the command is still this pid, even if it has ended.
    const int pidfd = openProcessFd(pid);
    int status = 0;
    const Ending ending = waitForCommand(pid, pidfd, timeoutMs, status);
    if (ending != Ending::Exited) endCommand(pid, pidfd);
    if (pidfd >= 0) close(pidfd);
    switch (ending) {
    case Ending::Exited:
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
        return failure(exitReason(status));
    case Ending::TimedOut: return failure(L"the command did not end within " + std::to_wstring(timeoutMs) + L" ms");
    case Ending::Stopped: break;
    }
    return failure(L"the check was cut short by a stop request");
}

} // namespace procguard
