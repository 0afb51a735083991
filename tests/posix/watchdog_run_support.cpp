#include "posix/watchdog_run_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "posix/process_support.h"

namespace procguard::test {

namespace {

// The parent's id and the state letter from /proc/PID/stat.
bool readStat(const std::string& pidText, pid_t& parent, char& state) {
    const std::string stat = readFile("/proc/" + pidText + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size()) return false;
    state = stat[close + 2];
    parent = static_cast<pid_t>(std::atol(stat.c_str() + close + 4));
    return true;
}

WatchdogRun launch(const std::vector<std::string>& launcher, const std::string& folder,
                   const std::vector<std::string>& arguments, const std::string& input,
                   std::chrono::milliseconds limit, const std::function<void(pid_t)>& whileRunning,
                   const std::function<void(pid_t)>& drive = {}) {
    // Files rather than pipes: a large input or output never blocks either side.
    const std::string inputPath = folder + "/.watchdog-input";
    const std::string outputPath = folder + "/.watchdog-output";
    writeBytes(inputPath, input);

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
        const int in = open(inputPath.c_str(), O_RDONLY);
        const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || chdir(folder.c_str()) != 0) _exit(126);
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (run.pid < 0) return run;
    run.started = true;
    if (drive) drive(run.pid);

    int status = 0;
    const bool ended = waitUntil([&] { return waitpid(run.pid, &status, WNOHANG) == run.pid; }, limit);
    if (!ended) {
        run.stillRunning = true;
        if (whileRunning) whileRunning(run.pid);
        kill(run.pid, SIGKILL);
        waitpid(run.pid, &status, 0);
    } else if (WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    run.output = readFile(outputPath);
    return run;
}

} // namespace

WatchdogRun runWatchdog(const std::string& folder, const std::vector<std::string>& arguments,
                        const std::string& input, std::chrono::milliseconds limit,
                        const std::function<void(pid_t)>& whileRunning) {
    return launch({}, folder, arguments, input, limit, whileRunning);
}

WatchdogRun runWatchdogThrough(const std::vector<std::string>& launcher, const std::string& folder,
                               const std::vector<std::string>& arguments, const std::string& input,
                               std::chrono::milliseconds limit) {
    return launch(launcher, folder, arguments, input, limit, {});
}

WatchdogRun runWatchdogDriven(const std::string& folder, const std::vector<std::string>& arguments,
                              std::chrono::milliseconds limit, const std::function<void(pid_t)>& drive) {
    return launch({}, folder, arguments, "", limit, {}, drive);
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<pid_t> runningInstancesOf(const std::string& path) {
    std::vector<pid_t> pids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path() / "exe", error) != path || error) continue;
        pid_t parent = 0;
        char state = 0;
        if (readStat(name, parent, state) && state != 'Z') pids.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return pids;
}

int zombieChildrenOf(pid_t parent) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        pid_t itsParent = 0;
        char state = 0;
        if (readStat(name, itsParent, state) && itsParent == parent && state == 'Z') ++count;
    }
    return count;
}

void killInstancesOf(const std::string& path) {
    for (pid_t pid : runningInstancesOf(path)) kill(pid, SIGKILL);
}

} // namespace procguard::test
