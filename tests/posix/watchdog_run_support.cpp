#include "posix/watchdog_run_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include "posix/process_support.h"

namespace procguard::test {

namespace {

// Files rather than pipes: a large input or output never blocks either side.
std::string inputPath(const std::string& folder) { return folder + "/.watchdog-input"; }
std::string outputPath(const std::string& folder) { return folder + "/.watchdog-output"; }

} // namespace

WatchdogRun runWatchdog(const std::string& folder, const std::vector<std::string>& arguments, const std::string& input,
                        std::chrono::milliseconds limit, const std::function<void(pid_t)>& whileRunning,
                        const std::vector<std::string>& launcher) {
    writeBytes(inputPath(folder), input);
    std::vector<std::string> words = launcher;
    words.push_back(PROCGUARD_EXECUTABLE);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    WatchdogRun run;
    run.pid = fork();
    if (run.pid == 0) {
        setsid();
        const int in = open(inputPath(folder).c_str(), O_RDONLY);
        const int out = open(outputPath(folder).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || chdir(folder.c_str()) != 0) _exit(126);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (run.pid < 0) return run;
    run.started = true;

    int status = 0;
    const auto ended = [&] { return waitpid(run.pid, &status, WNOHANG) == run.pid; };
    if (whileRunning) whileRunning(run.pid);
    if (whileRunning ? !ended() : !waitUntil(ended, limit)) {
        run.stillRunning = true;
        kill(run.pid, SIGKILL);
        waitpid(run.pid, &status, 0);
    } else if (WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    run.output = readFile(outputPath(folder));
    return run;
}

std::string watchdogOutput(const std::string& folder) { return readFile(outputPath(folder)); }

CheckCounter::CheckCounter(const std::string& folder) : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (fd_ >= 0) inotify_add_watch(fd_, folder.c_str(), IN_OPEN | IN_ONLYDIR);
}

CheckCounter::~CheckCounter() {
    if (fd_ >= 0) close(fd_);
}

bool CheckCounter::waitForChecks(int count, std::chrono::milliseconds limit) {
    return waitUntil(
        [&] {
            alignas(inotify_event) char buffer[4096];
            for (ssize_t length; (length = read(fd_, buffer, sizeof buffer)) > 0;) {
                for (char* at = buffer; at < buffer + length;) {
                    const auto* event = reinterpret_cast<const inotify_event*>(at);
                    // The folder itself, not a file in it.
                    if (event->len == 0 && (event->mask & IN_OPEN) != 0) ++seen_;
                    at += sizeof(inotify_event) + event->len;
                }
            }
            return seen_ >= count;
        },
        limit);
}

} // namespace procguard::test
