#include "bench/watch_run.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "bench/bench_support.h"
#include "tests/config_text.h"

extern char** environ;

namespace bench {

namespace {

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file.flush());
}

// The benchmark's environment without the X display, plus what the target
// reads and what the options add.
std::vector<std::string> watchEnvironment(const WatchRun& run, const WatchOptions& options) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "DISPLAY=", 8) == 0 || std::strncmp(*entry, "BENCH_TARGET_", 13) == 0) continue;
        variables.emplace_back(*entry);
    }
    variables.insert(variables.end(), options.environment.begin(), options.environment.end());
    variables.push_back("BENCH_TARGET_LOG=" + run.targetLog);
    if (options.targetMaxMs >= 0) {
        variables.push_back("BENCH_TARGET_MIN_MS=" + std::to_string(options.targetMinMs));
        variables.push_back("BENCH_TARGET_MAX_MS=" + std::to_string(options.targetMaxMs));
    }
    return variables;
}

// True when `pid` still runs bench_exit_target (and not a process that got
// its id since).
bool runsExitTarget(pid_t pid) {
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(pid));
    const ssize_t length = readlink(link, target, sizeof target - 1);
    if (length <= 0) return false;
    target[length] = '\0';
    return std::strcmp(target, BENCH_EXIT_TARGET) == 0;
}

} // namespace

std::string watchdogPath(const char* variable) {
    const char* chosen = std::getenv(variable);
    if (chosen != nullptr && *chosen != '\0') return chosen;
    return std::strcmp(variable, "BENCH_WATCHDOG") == 0 ? BENCH_WATCHDOG : "";
}

std::string windowsPath(const std::string& path) {
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
}

bool startWatch(const std::string& name, const WatchOptions& options, WatchRun& run) {
    run = WatchRun{};
    if (scratchDirectory().empty()) return false;
    run.folder = scratchDirectory() + "/" + name;
    if (mkdir(run.folder.c_str(), 0755) != 0) return false;
    run.targetLog = run.folder + "/target-log.txt";
    const std::string config = run.folder + "/watch.ini";
    const bool underWine = !options.wineLoader.empty();
    const std::string target = options.target.empty() ? BENCH_EXIT_TARGET : options.target;
    const std::string text = procguard::test::configText({.processName = underWine ? windowsPath(target) : target,
                                                          .commandParams = options.arguments,
                                                          .checkPeriod = options.checkPeriodMs,
                                                          .responseTimeout = options.responseTimeoutMs,
                                                          .finishType = options.finishType,
                                                          .finishCount = options.finishCount,
                                                          .moreSections = options.moreSections});
    if (!writeFile(config, text)) return false;

    std::vector<std::string> variables = watchEnvironment(run, options);
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    if (options.targetAlreadyRunning) {
        char* targetArgv[] = {const_cast<char*>(BENCH_EXIT_TARGET), nullptr};
        if (posix_spawn(&run.target, BENCH_EXIT_TARGET, nullptr, nullptr, targetArgv, envp.data()) != 0) return false;
        trackChild(run.target);
        if (!waitForTargetStarts(run, 1, 5000)) return false;
    }
    const std::string output = run.folder + "/watchdog-output.txt";
    const std::string watchdog = watchdogPath(underWine ? "BENCH_WINE_WATCHDOG" : "BENCH_WATCHDOG");
    if (watchdog.empty()) return false;
    std::vector<std::string> words{watchdog, config};
    if (underWine) words = {options.wineLoader, watchdog, windowsPath(config)};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // No controlling terminal: the key waits return at once.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int error = posix_spawn(&run.pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        run.pid = 0;
        return false;
    }
    trackChild(run.pid);
    return true;
}

void stopWatch(WatchRun& run) {
    if (run.pid > 0) killChild(run.pid);
    run.pid = 0;
    // Collected here, or it would stay a zombie for the rest of the run.
    if (run.target > 0) killChild(run.target);
    run.target = 0;
    // Targets die with the watchdog; this catches one that had not yet asked to.
    std::set<pid_t> running;
    for (const TargetEvent& event : readTargetLog(run.targetLog)) {
        if (event.start)
            running.insert(event.pid);
        else
            running.erase(event.pid);
    }
    for (pid_t pid : running) {
        if (runsExitTarget(pid)) kill(pid, SIGKILL);
    }
}

std::vector<TargetEvent> readTargetLog(const std::string& path) {
    std::vector<TargetEvent> events;
    std::istringstream lines(readFile(path));
    std::string kind;
    long pid = 0;
    long long ns = 0;
    while (lines >> kind >> pid >> ns) events.push_back({kind == "start", static_cast<pid_t>(pid), ns});
    std::stable_sort(events.begin(), events.end(),
                     [](const TargetEvent& a, const TargetEvent& b) { return a.ns < b.ns; });
    return events;
}

bool waitForTargetStarts(const WatchRun& run, std::size_t count, int timeoutMs) {
    const std::int64_t deadline = monotonicNanoseconds() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    for (;;) {
        const std::vector<TargetEvent> events = readTargetLog(run.targetLog);
        const auto starts = static_cast<std::size_t>(
            std::count_if(events.begin(), events.end(), [](const TargetEvent& event) { return event.start; }));
        if (starts >= count) return true;
        if (monotonicNanoseconds() >= deadline) return false;
        usleep(10000);
    }
}

bool sampleStatus(pid_t pid, StatusSample& sample) {
    std::istringstream lines(readFile("/proc/" + std::to_string(pid) + "/status"));
    bool seen = false;
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        const std::string key = line.substr(0, colon);
        const long value = std::strtol(line.c_str() + colon + 1, nullptr, 10);
        if (key == "VmRSS") {
            sample.rssKib = value;
            seen = true;
        } else if (key == "RssAnon") {
            sample.rssAnonKib = value;
        } else if (key == "RssFile") {
            sample.rssFileKib = value;
        } else if (key == "VmHWM") {
            sample.hwmKib = value;
        } else if (key == "voluntary_ctxt_switches") {
            sample.voluntarySwitches = value;
        }
    }
    return seen;
}

std::int64_t processCpuNanoseconds(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    // The command name may hold blanks and parentheses: fields count from
    // the last ')'. utime and stime are fields 14 and 15.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    long long utime = -1, stime = -1;
    for (int number = 3; fields >> field && number <= 15; ++number) {
        if (number == 14) utime = std::atoll(field.c_str());
        if (number == 15) stime = std::atoll(field.c_str());
    }
    if (utime < 0 || stime < 0) return -1;
    return (utime + stime) * (1000000000LL / sysconf(_SC_CLK_TCK));
}

std::int64_t processRuntimeNanoseconds(pid_t pid) {
    std::istringstream fields(readFile("/proc/" + std::to_string(pid) + "/schedstat"));
    long long runtime = -1;
    fields >> runtime;
    return runtime;
}

int placeInProcessList(pid_t pid, int& processes) {
    processes = 0;
    int place = 0;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return 0;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        ++processes;
        if (std::atol(entry->d_name) == pid) place = processes;
    }
    closedir(proc);
    return place;
}

} // namespace bench
