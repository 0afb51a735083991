// bench_exit_target: the program the watchdog restarts in the benchmarks.
//
// It appends "start PID NS" to the file named by BENCH_TARGET_LOG as the
// first thing it does, lives for a random time between BENCH_TARGET_MIN_MS
// and BENCH_TARGET_MAX_MS milliseconds, and appends "exit PID NS" right
// before it exits. NS is CLOCK_MONOTONIC in nanoseconds, one clock for every
// process of the machine, so the time between an exit and the next start is
// the watchdog's restart latency. Without BENCH_TARGET_MAX_MS it never exits
// by itself. It dies with the watchdog that started it.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

std::int64_t monotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// One write per line with O_APPEND, so lines of overlapping instances never
// mix.
void record(const char* log, const char* event, std::int64_t when) {
    if (log == nullptr) return;
    const int fd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[96];
    const int length = std::snprintf(line, sizeof line, "%s %d %lld\n", event, static_cast<int>(getpid()),
                                     static_cast<long long>(when));
    if (length > 0) (void)!write(fd, line, static_cast<std::size_t>(length));
    close(fd);
}

long milliseconds(const char* name) {
    const char* text = std::getenv(name);
    return text != nullptr ? std::strtol(text, nullptr, 10) : -1;
}

} // namespace

int main() {
    const std::int64_t started = monotonicNanoseconds();
    const char* log = std::getenv("BENCH_TARGET_LOG");
    record(log, "start", started);
    prctl(PR_SET_PDEATHSIG, SIGKILL);

    const long minMs = milliseconds("BENCH_TARGET_MIN_MS");
    const long maxMs = milliseconds("BENCH_TARGET_MAX_MS");
    if (maxMs < 0) {
        for (;;) pause();
    }
    // Lifetimes spread over at least one check period put the exits at every
    // phase of the watchdog's checks.
    std::srand(static_cast<unsigned>(started ^ getpid()));
    const long low = minMs < 0 ? 0 : minMs;
    const long span = maxMs > low ? maxMs - low : 0;
    const long lifetimeMs = low + (span > 0 ? std::rand() % (span + 1) : 0);
    const std::int64_t end = started + static_cast<std::int64_t>(lifetimeMs) * 1000000;
    timespec until{static_cast<time_t>(end / 1000000000), static_cast<long>(end % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {}
    record(log, "exit", monotonicNanoseconds());
    return 0;
}
