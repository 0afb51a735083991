// bench_probe_floor: the floor of one health probe, what the probe asks of
// the system and nothing more, at the pace of the watchdog's checks.
//
//   bench_probe_floor DURATION_MS PERIOD_MS sleep
//   bench_probe_floor DURATION_MS PERIOD_MS stat FILE
//   bench_probe_floor DURATION_MS PERIOD_MS statm PID
//   bench_probe_floor DURATION_MS PERIOD_MS get URL
//   bench_probe_floor DURATION_MS PERIOD_MS spawn COMMAND [ARGUMENT...]
//
// Sleeps PERIOD_MS again and again for DURATION_MS, and after each sleep
// makes one call: none, one stat of FILE, one open, read and close of
// /proc/PID/statm, one GET of URL with libcurl on an easy handle kept for the
// run, or one posix_spawn and waitpid of COMMAND. Like the watchdog it is one
// small process whose every wake-up does the same, so the benchmark can take
// the same difference of both: CPU per call with a call less that of a
// process that only sleeps.
//
// Prints "CALLS NANOSECONDS UNTIMED": the calls timed, their CPU time with
// their sleeps, and the calls made before them (the first connection, the
// first start), and exits with 0; with 1 when a call failed.
#include <curl/curl.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

// Calls made before the timing starts, as the watchdog is measured past its
// start-up.
constexpr long kUntimedCalls = 20;

std::int64_t nanoseconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::size_t discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// The options of the watchdog's probe that change what a transfer does.
CURL* keptHandle(const char* url) {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    CURL* easy = curl_easy_init();
    if (easy == nullptr) return nullptr;
    curl_easy_setopt(easy, CURLOPT_URL, url);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, 1000L);
    return easy;
}

struct Call {
    enum Kind { Sleep, Stat, Statm, Get, Spawn } kind = Sleep;
    const char* file = nullptr;
    char statm[48] = {};
    CURL* easy = nullptr;
    char** command = nullptr;
};

bool make(const Call& call) {
    switch (call.kind) {
    case Call::Sleep: return true;
    case Call::Stat: {
        struct stat info {};
        return stat(call.file, &info) == 0;
    }
    case Call::Statm: {
        const int fd = open(call.statm, O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        char text[128];
        const ssize_t length = read(fd, text, sizeof text - 1);
        close(fd);
        return length > 0;
    }
    case Call::Get: {
        long status = 0;
        return curl_easy_perform(call.easy) == CURLE_OK &&
               curl_easy_getinfo(call.easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 &&
               status <= 399;
    }
    case Call::Spawn: {
        pid_t pid = 0;
        if (posix_spawn(&pid, call.command[0], nullptr, nullptr, call.command, environ) != 0) return false;
        int status = 0;
        return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    }
    return false;
}

bool parse(int argc, char** argv, Call& call) {
    const char* kind = argv[3];
    if (std::strcmp(kind, "sleep") == 0) return true;
    if (argc < 5) return false;
    if (std::strcmp(kind, "stat") == 0) {
        call.kind = Call::Stat;
        call.file = argv[4];
    } else if (std::strcmp(kind, "statm") == 0) {
        call.kind = Call::Statm;
        std::snprintf(call.statm, sizeof call.statm, "/proc/%ld/statm", std::strtol(argv[4], nullptr, 10));
    } else if (std::strcmp(kind, "get") == 0) {
        call.kind = Call::Get;
        call.easy = keptHandle(argv[4]);
        return call.easy != nullptr;
    } else if (std::strcmp(kind, "spawn") == 0) {
        call.kind = Call::Spawn;
        call.command = argv + 4;
    } else {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Call call;
    if (argc < 4 || !parse(argc, argv, call)) {
        std::fprintf(stderr, "usage: %s DURATION_MS PERIOD_MS sleep|stat FILE|statm PID|get URL|spawn COMMAND...\n",
                     argv[0]);
        return 2;
    }
    const long durationMs = std::strtol(argv[1], nullptr, 10);
    const long periodMs = std::strtol(argv[2], nullptr, 10);
    // The watchdog's wait between checks is a ppoll as well.
    const timespec pause{periodMs / 1000, (periodMs % 1000) * 1000000L};
    auto sleepAndCall = [&] {
        ppoll(nullptr, 0, &pause, nullptr);
        return make(call);
    };
    for (long untimed = 0; untimed < kUntimedCalls; ++untimed) {
        if (!sleepAndCall()) return 1;
    }
    const std::int64_t end = nanoseconds(CLOCK_MONOTONIC) + static_cast<std::int64_t>(durationMs) * 1000000;
    const std::int64_t begin = nanoseconds(CLOCK_PROCESS_CPUTIME_ID);
    long calls = 0;
    while (nanoseconds(CLOCK_MONOTONIC) < end) {
        if (!sleepAndCall()) return 1;
        ++calls;
    }
    const std::int64_t spent = nanoseconds(CLOCK_PROCESS_CPUTIME_ID) - begin;
    std::printf("%ld %lld %ld\n", calls, static_cast<long long>(spent), kUntimedCalls);
    if (call.easy != nullptr) curl_easy_cleanup(call.easy);
    return 0;
}
