// Starting the target on Linux.
//
// posix_spawn runs the file itself, never a shell, so nothing in the argument
// line is ever interpreted beyond the Windows quoting rules.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "platform/spawn.h"
#include "platform/posix/children.h"
#include "platform/posix/argument_split.h"
#include "platform/posix/system_error.h"

extern char** environ;

namespace procguard {

namespace {

Result systemFailure(int error) { return failure(systemErrorMessage(error)); }

// Sets up a child that is detached from the watchdog's terminal and signal
// state.
int prepareAttributes(posix_spawnattr_t& attributes) {
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    // A session of its own: a Ctrl+C, or the terminal closing, aimed at the
    // watchdog does not reach the target. Its process group, whose id is its
    // pid, is its tree: what it starts stays in it unless it moves out. A
    // clean signal mask, and default dispositions for everything, so for
    // example the SIGPIPE the console ignores is not passed on.
    short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    int error = posix_spawnattr_setflags(&attributes, flags);
    if (error == 0) error = posix_spawnattr_setsigmask(&attributes, &none);
    if (error == 0) error = posix_spawnattr_setsigdefault(&attributes, &all);
    return error;
}

} // namespace

Result startProcess(const std::wstring& path, const std::wstring& arguments, HeldProcess& started) {
    started = HeldProcess{};
    reapExitedChildren();

    std::vector<std::string> words;
    words.push_back(encodeUtf8(path));
    for (const std::wstring& argument : splitCommandLine(arguments)) words.push_back(encodeUtf8(argument));
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t actions;
    int error = posix_spawnattr_init(&attributes);
    if (error != 0) return systemFailure(error);
    error = posix_spawn_file_actions_init(&actions);
    if (error != 0) {
        posix_spawnattr_destroy(&attributes);
        return systemFailure(error);
    }
    error = prepareAttributes(attributes);
    // The target must not read the keys meant for the watchdog's prompts and
    // key waits; its output still goes where the watchdog's goes.
    if (error == 0) error = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    // Nothing else the watchdog has open (a display connection, a config
    // file) leaks into a target that may outlive it.
    if (error == 0) error = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif

    pid_t pid = 0;
    if (error == 0) adoptOrphansOfTargets();
    if (error == 0) error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) return systemFailure(error);
    rememberChild(pid);
    // The child cannot be collected by anyone but this process, so its id
    // still names it here, even if it has already ended.
    started = holdProcess(static_cast<ProcessId>(pid));
    // POSIX_SPAWN_SETSID made it the leader of a process group of its own.
    started.tree = pid;
    return {};
}

} // namespace procguard
