#include "bench/bench_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sstream>
#include <fstream>

extern char** environ;

namespace bench {

namespace {

std::int64_t clockNanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Read by the signal handler, so plain atomics in a fixed table.
constexpr int kTrackedSlots = 64;
std::atomic<pid_t> gTracked[kTrackedSlots];

void killTrackedAndDie(int signalNumber) {
    for (auto& slot : gTracked) {
        const pid_t pid = slot.load();
        if (pid > 0) kill(pid, SIGKILL);
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

std::string gScratch;

// Removes what it can and goes on: a leftover file must not stop the rest.
int removeEntry(const char* path, const struct stat*, int, FTW*) {
    remove(path);
    return 0;
}

// Idle helpers started so far; each one is a group of idle processes.
std::vector<pid_t>& idleHelpers() {
    static std::vector<pid_t> helpers;
    return helpers;
}

// Starts one bench_idle_helper for `count` processes and waits until all of
// them exist. Returns false when it could not start or did not get ready.
bool startIdleHelper(int count) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string countText = std::to_string(count);
    char* argv[] = {const_cast<char*>(BENCH_IDLE_HELPER), const_cast<char*>(countText.c_str()), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, BENCH_IDLE_HELPER, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (error != 0) {
        close(pipeFds[0]);
        std::fprintf(stderr, "cannot start %s: error %d\n", BENCH_IDLE_HELPER, error);
        return false;
    }
    trackChild(pid);
    idleHelpers().push_back(pid);

    // "ready N" comes once every process exists; a few thousand forks take
    // well under a second, so a minute means something is wrong.
    std::string reply;
    char buffer[64];
    pollfd waiting{pipeFds[0], POLLIN, 0};
    while (reply.find('\n') == std::string::npos && poll(&waiting, 1, 60000) > 0) {
        const ssize_t length = read(pipeFds[0], buffer, sizeof buffer);
        if (length <= 0) break;
        reply.append(buffer, static_cast<std::size_t>(length));
    }
    close(pipeFds[0]);
    return reply.rfind("ready ", 0) == 0;
}

} // namespace

std::int64_t monotonicNanoseconds() { return clockNanoseconds(CLOCK_MONOTONIC); }

std::int64_t threadCpuNanoseconds() { return clockNanoseconds(CLOCK_THREAD_CPUTIME_ID); }

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    const std::size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    double result = values[middle];
    if (values.size() % 2 == 0) {
        result = (result + *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle))) / 2;
    }
    return result;
}

const std::string& scratchDirectory() {
    if (gScratch.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/procguard-bench-XXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) gScratch = pattern;
    }
    return gScratch;
}

void removeScratchDirectory(bool keepLogs) {
    if (gScratch.empty()) return;
    const std::string doomed = keepLogs ? gScratch + "/files" : gScratch;
    nftw(doomed.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    gScratch.clear();
}

void installInterruptCleanup() {
    struct sigaction action {};
    action.sa_handler = killTrackedAndDie;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
}

void trackChild(pid_t pid) {
    for (auto& slot : gTracked) {
        pid_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid)) return;
    }
}

void forgetChild(pid_t pid) {
    for (auto& slot : gTracked) {
        pid_t expected = pid;
        slot.compare_exchange_strong(expected, 0);
    }
}

bool waitForChild(pid_t pid, int timeoutMs, int* status) {
    const std::int64_t deadline = monotonicNanoseconds() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    for (;;) {
        int result = 0;
        const pid_t done = waitpid(pid, &result, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) {
            if (status != nullptr) *status = result;
            forgetChild(pid);
            return true;
        }
        if (monotonicNanoseconds() >= deadline) return false;
        usleep(2000);
    }
}

void killChild(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    forgetChild(pid);
}

int countProcesses() {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return 0;
    int count = 0;
    while (const dirent* entry = readdir(proc)) {
        if (entry->d_name[0] >= '1' && entry->d_name[0] <= '9') ++count;
    }
    closedir(proc);
    return count;
}

int readEveryExeLink() {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return 0;
    char link[64] = "/proc/";
    char target[PATH_MAX];
    int read = 0;
    while (const dirent* entry = readdir(proc)) {
        const char* name = entry->d_name;
        if (name[0] < '1' || name[0] > '9') continue;
        const std::size_t length = std::strlen(name);
        if (length > 20) continue;
        std::memcpy(link + 6, name, length);
        std::memcpy(link + 6 + length, "/exe", 5);
        if (readlink(link, target, sizeof target) > 0) ++read;
    }
    closedir(proc);
    return read;
}

int settleProcessCount(int wanted) {
    int running = countProcesses();
    // Far too many, and some of them ours: start again from the machine's own.
    if (running > wanted + wanted / 10 && !idleHelpers().empty()) {
        releaseIdleProcesses();
        running = countProcesses();
    }
    // "About": the machine's own processes come and go by a few.
    if (running < wanted - wanted / 20 && startIdleHelper(wanted - running)) running = countProcesses();
    return running;
}

void releaseIdleProcesses() {
    // The helper kills and collects its own processes before it exits.
    for (pid_t helper : idleHelpers()) kill(helper, SIGTERM);
    for (pid_t helper : idleHelpers()) {
        if (!waitForChild(helper, 30000)) killChild(helper);
    }
    idleHelpers().clear();
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace bench
