// bench_idle_helper COUNT: becomes COUNT processes that do nothing, so the
// benchmarks can measure a process lookup on a busy machine.
//
// The first process forks the others, writes "ready N" (N = processes that
// exist, itself included) to standard output and closes it. On SIGTERM,
// SIGINT or SIGHUP it kills and collects every one of them and exits. Each
// process, the first included, also dies with its parent (PR_SET_PDEATHSIG),
// so a benchmark that crashes or is killed leaves no idle process behind.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// True when the process now dies with the process `parent`; false when that
// parent has already gone (the signal would never come).
bool dieWithParent(pid_t parent) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return false;
    return getppid() == parent;
}

[[noreturn]] void idleForever() {
    for (;;) pause();
}

} // namespace

int main(int argc, char** argv) {
    const long count = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1;
    if (count < 1 || count > 100000) {
        std::fprintf(stderr, "usage: %s COUNT (1..100000)\n", argv[0]);
        return 2;
    }
    if (!dieWithParent(getppid())) return 1;

    // The ending signals are taken with sigwait below; blocked before the
    // forks, so none can end the first process before it has all the pids.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGHUP);
    sigprocmask(SIG_BLOCK, &ending, nullptr);

    const pid_t self = getpid();
    std::vector<pid_t> children;
    children.reserve(static_cast<std::size_t>(count));
    for (long i = 1; i < count; ++i) {
        const pid_t child = fork();
        if (child < 0) break; // out of processes: report how many there are
        if (child == 0) {
            if (!dieWithParent(self)) _exit(0);
            close(STDOUT_FILENO); // the end of "ready" is the first process's to give
            idleForever();        // the ending signals stay blocked: only SIGKILL ends it
        }
        children.push_back(child);
    }

    std::printf("ready %zu\n", children.size() + 1);
    std::fflush(stdout);
    fclose(stdout);

    int signalNumber = 0;
    sigwait(&ending, &signalNumber);
    for (pid_t child : children) kill(child, SIGKILL);
    for (pid_t child : children) waitpid(child, nullptr, 0);
    return 0;
}
