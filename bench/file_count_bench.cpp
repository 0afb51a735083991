// Counting a folder of 100,000 files with a pattern that matches half of
// them, next to `find DIR -maxdepth 1 -name PATTERN` on the same folder.
//
// find runs as its own process, so its CPU time is the child's user and
// system time (exec and start-up included, as for anyone who runs it); the
// count's is the CPU time of this thread. Turns alternate per iteration.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "bench/bench_support.h"
#include "bench/figures.h"
#include "platform/platform.h"
#include "base/utf8.h"

extern char** environ;

namespace bench {

namespace {

constexpr int kFiles = 100000;
constexpr int kMatching = kFiles / 2;
const char* const kPattern = "*.log";

// The folder, made once per run: even entries end in .log, odd ones in .txt.
const std::string& countedFolder() {
    static std::string folder;
    if (!folder.empty() || scratchDirectory().empty()) return folder;
    const std::string path = scratchDirectory() + "/files";
    if (mkdir(path.c_str(), 0755) != 0) return folder;
    const int directory = open(path.c_str(), O_DIRECTORY | O_RDONLY | O_CLOEXEC);
    if (directory < 0) return folder;
    char name[32];
    for (int i = 0; i < kFiles; ++i) {
        std::snprintf(name, sizeof name, "entry-%06d.%s", i, i % 2 == 0 ? "log" : "txt");
        const int fd = openat(directory, name, O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) {
            close(directory);
            return folder;
        }
        close(fd);
    }
    close(directory);
    folder = path;
    return folder;
}

struct FindRun {
    bool ok = false;
    double cpuNs = 0;
    double wallNs = 0;
};

// Runs find on the folder with its output going to `outputPath`.
FindRun runFind(const std::string& folder, const char* outputPath) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* argv[] = {const_cast<char*>("find"),
                    const_cast<char*>(folder.c_str()),
                    const_cast<char*>("-maxdepth"),
                    const_cast<char*>("1"),
                    const_cast<char*>("-name"),
                    const_cast<char*>(kPattern),
                    nullptr};
    FindRun run;
    const std::int64_t begin = monotonicNanoseconds();
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, "find", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) return run;
    trackChild(pid);
    int status = 0;
    rusage usage{};
    const pid_t done = wait4(pid, &status, 0, &usage);
    forgetChild(pid);
    run.wallNs = static_cast<double>(monotonicNanoseconds() - begin);
    auto nanoseconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e9 + t.tv_usec * 1e3; };
    run.cpuNs = nanoseconds(usage.ru_utime) + nanoseconds(usage.ru_stime);
    run.ok = done == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

int countLines(const std::string& path) {
    std::ifstream file(path);
    int lines = 0;
    for (std::string line; std::getline(file, line);) ++lines;
    return lines;
}

void countFilesAgainstFind(benchmark::State& state) {
    const std::string what = format("file count, %d files, %d matching %s", kFiles, kMatching, kPattern);
    const std::string& folder = countedFolder();
    if (folder.empty()) {
        state.SkipWithError("cannot make the folder");
        recordFailure(FigureSlot::FileCount, what, "cannot make the folder of files");
        return;
    }
    const std::wstring mask = procguard::decodeUtf8(folder + "/" + kPattern);
    const std::string listing = scratchDirectory() + "/find-output.txt";
    // Both must do the same work: count the same entries.
    const std::int32_t counted = procguard::countMatchingFiles(mask);
    const FindRun check = runFind(folder, listing.c_str());
    const int found = countLines(listing);
    if (counted != kMatching || !check.ok || found != kMatching) {
        const std::string reason =
            format("countMatchingFiles gave %d, find %d (expected %d)", counted, found, kMatching);
        state.SkipWithError(reason.c_str());
        recordFailure(FigureSlot::FileCount, what, reason);
        return;
    }

    std::vector<double> countCpu, countWall, findCpu, findWall;
    bool countFirst = false;
    for (auto _ : state) {
        countFirst = !countFirst;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == countFirst) {
                const std::int64_t wallBegin = monotonicNanoseconds();
                const std::int64_t cpuBegin = threadCpuNanoseconds();
                benchmark::DoNotOptimize(procguard::countMatchingFiles(mask));
                countCpu.push_back(static_cast<double>(threadCpuNanoseconds() - cpuBegin));
                countWall.push_back(static_cast<double>(monotonicNanoseconds() - wallBegin));
            } else {
                const FindRun run = runFind(folder, "/dev/null");
                if (!run.ok) {
                    state.SkipWithError("find failed");
                    recordFailure(FigureSlot::FileCount, what, "find failed");
                    return;
                }
                findCpu.push_back(run.cpuNs);
                findWall.push_back(run.wallNs);
            }
        }
    }

    const double ours = median(countCpu);
    const double theirs = median(findCpu);
    const double ratio = theirs > 0 ? ours / theirs : 0;
    state.counters["count_ms"] = ours / 1e6;
    state.counters["find_ms"] = theirs / 1e6;
    state.counters["count_wall_ms"] = median(countWall) / 1e6;
    state.counters["find_wall_ms"] = median(findWall) / 1e6;
    state.counters["ratio"] = ratio;
    recordFigure(FigureSlot::FileCount,
                 format("%s: countMatchingFiles %.1f ms, find %.1f ms (CPU time, median of %zu; wall %.1f vs %.1f ms)",
                        what.c_str(), ours / 1e6, theirs / 1e6, countCpu.size(), median(countWall) / 1e6,
                        median(findWall) / 1e6),
                 "<= 1.00 x find", ratio, ratio <= 1.0);
}

} // namespace

BENCHMARK(countFilesAgainstFind)->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace bench
