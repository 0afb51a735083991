#include "bench/window_world.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bench/bench_support.h"

extern char** environ;

namespace bench {

namespace {

constexpr const char* kWineServer = "/usr/lib/wine/wineserver";

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// Starts `argv` with the benchmark's environment plus `environment`, its
// standard input from /dev/null and the write end of a pipe as descriptor
// `pipeTarget`; returns the pid (0 on failure) and the read end in `readEnd`.
pid_t spawnWithPipe(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int pipeTarget,
                    int& readEnd) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return 0;
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) variables.emplace_back(*entry);
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = argv;
    std::vector<char*> args;
    for (std::string& word : words) args.push_back(word.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    for (int output : {1, 2}) {
        if (output != pipeTarget) posix_spawn_file_actions_addopen(&actions, output, "/dev/null", O_WRONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, fds[1], pipeTarget);
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (error != 0) {
        close(fds[0]);
        return 0;
    }
    trackChild(pid);
    readEnd = fds[0];
    return pid;
}

// What arrives on `fd` until a line end has, the writer closed its end, or
// `timeoutMs` has passed.
std::string readLine(int fd, int timeoutMs) {
    const std::int64_t deadline = monotonicNanoseconds() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    std::string text;
    while (text.find('\n') == std::string::npos) {
        const std::int64_t left = (deadline - monotonicNanoseconds()) / 1000000;
        pollfd watched{fd, POLLIN, 0};
        if (left <= 0 || poll(&watched, 1, static_cast<int>(left)) <= 0) break;
        char buffer[128];
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

// The wineserver whose working folder is the prefix's server folder
// ("server-<device>-<inode>" of the prefix, in hexadecimal); 0 if none runs.
pid_t findWineServer(const std::string& prefix) {
    struct stat info;
    if (stat(prefix.c_str(), &info) != 0) return 0;
    char folder[64];
    std::snprintf(folder, sizeof folder, "/server-%llx-%llx", static_cast<unsigned long long>(info.st_dev),
                  static_cast<unsigned long long>(info.st_ino));
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return 0;
    pid_t found = 0;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        if (readFile(base + "/comm").rfind("wineserver", 0) != 0) continue;
        char cwd[4096];
        const ssize_t length = readlink((base + "/cwd").c_str(), cwd, sizeof cwd - 1);
        if (length <= 0) continue;
        cwd[length] = '\0';
        const std::size_t size = std::strlen(folder);
        if (static_cast<std::size_t>(length) >= size && std::strcmp(cwd + length - size, folder) == 0) {
            found = static_cast<pid_t>(std::atol(entry->d_name));
            break;
        }
    }
    closedir(proc);
    return found;
}

} // namespace

bool startXServer(XServer& server) {
    for (int number = 140; number < 160; ++number) {
        const std::string n = std::to_string(number);
        if (exists("/tmp/.X" + n + "-lock") || exists("/tmp/.X11-unix/X" + n)) continue;
        int fd = -1;
        // -displayfd: the number is written once it takes clients; a number
        // taken meanwhile makes it exit.
        const pid_t pid = spawnWithPipe(
            {"Xvfb", ":" + n, "-nolisten", "tcp", "-noreset", "-screen", "0", "1280x1024x24", "-displayfd", "3"}, {}, 3,
            fd);
        if (pid == 0) return false;
        const std::string reported = readLine(fd, 15000);
        close(fd);
        if (reported.find('\n') != std::string::npos) {
            server = {pid, ":" + n};
            return true;
        }
        killChild(pid);
    }
    return false;
}

void stopXServer(XServer& server) {
    if (server.pid > 0) {
        kill(server.pid, SIGTERM);
        if (!waitForChild(server.pid, 10000)) killChild(server.pid);
    }
    server = {};
}

std::int64_t processThreadsRuntime(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* folder = opendir(tasks.c_str());
    if (folder == nullptr) return -1;
    std::int64_t total = 0;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
        total += std::atoll(readFile(tasks + "/" + entry->d_name + "/schedstat").c_str());
    }
    closedir(folder);
    return total;
}

pid_t startWhenReady(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int timeoutMs) {
    int fd = -1;
    const pid_t pid = spawnWithPipe(argv, environment, 1, fd);
    if (pid == 0) return 0;
    const std::string said = readLine(fd, timeoutMs);
    close(fd);
    if (said.rfind("ready", 0) == 0) return pid;
    killChild(pid);
    return 0;
}

long countLines(const std::string& path, const std::string& line) {
    std::istringstream lines(readFile(path));
    long count = 0;
    for (std::string text; std::getline(lines, text);) count += text == line ? 1 : 0;
    return count;
}

bool prepareWine(Wine& wine, std::string& reason) {
    wine = {};
    const char* loader = std::getenv("BENCH_WINE_LOADER");
    wine.loader = loader != nullptr && *loader != '\0' ? loader : "/usr/lib/wine/wine64";
    const char* prefix = std::getenv("WINEPREFIX");
    if (prefix == nullptr || *prefix == '\0' || !exists(std::string(prefix) + "/drive_c")) {
        reason = "WINEPREFIX names no Wine prefix (scripts/bench.sh makes one)";
        return false;
    }
    wine.prefix = prefix;
    if (access(wine.loader.c_str(), X_OK) != 0 || access(kWineServer, X_OK) != 0) {
        reason = "Wine is not installed (Debian package wine64)";
        return false;
    }
    // A server left running may belong to an X display that is gone, and
    // would carry the work of whatever else runs in the prefix.
    if (findWineServer(wine.prefix) != 0) {
        reason = "a wineserver runs for " + wine.prefix + " already: stop it first (wineserver -k)";
        return false;
    }
    int fd = -1;
    const pid_t started = spawnWithPipe({kWineServer, "-f", "-p"}, {}, 2, fd);
    if (started != 0) close(fd);
    const std::int64_t deadline = monotonicNanoseconds() + 10'000'000'000;
    while (started != 0 && (wine.server = findWineServer(wine.prefix)) == 0 && monotonicNanoseconds() < deadline) {
        usleep(10000);
    }
    if (wine.server == 0) reason = "the wineserver of " + wine.prefix + " did not start";
    return wine.server != 0;
}

void releaseWine(Wine& wine) {
    if (wine.server != 0) {
        // Ends the processes Wine started for the benchmark's programs too.
        int fd = -1;
        const pid_t stopper = spawnWithPipe({kWineServer, "-k"}, {}, 2, fd);
        if (stopper != 0) {
            close(fd);
            waitForChild(stopper, 10000);
        }
        if (!waitForChild(wine.server, 10000)) killChild(wine.server);
    }
    wine = {};
}

} // namespace bench
