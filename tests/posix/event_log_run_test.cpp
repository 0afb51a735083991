// The event log and stop requests of the real watchdog on Linux.
#include <signal.h>

#include <algorithm>
#include <cstdio>

#include <gtest/gtest.h>

#include "app/exit_codes.h"
#include "event_line.h"
#include "posix/process_support.h"
#include "config_text.h"
#include "posix/watchdog_run_support.h"

namespace procguard {
namespace {

using namespace std::chrono_literals;

class EventLogRun : public testing::Test {
protected:
    void writeConfig(const std::string& target, std::uint32_t period) {
        test::writeBytes(
            folder.path + "/run.ini",
            test::configText(
                {.processName = target, .commandParams = "30", .checkPeriod = period, .responseTimeout = 1000}));
    }
    static std::vector<std::string> members(const std::string& path, const std::string& name) {
        return test::membersOf(test::readFile(path), name);
    }
    // Sends the signal and waits until the watchdog has ended (it stays a
    // zombie until the run collects it).
    static void stop(pid_t watchdog, int signalNumber) {
        kill(watchdog, signalNumber);
        test::waitUntil([&] { return test::processState(watchdog) == 'Z'; }, std::chrono::seconds(20));
    }
    static std::size_t count(const std::string& path, const std::string& event) {
        const std::vector<std::string> events = members(path, "event");
        return static_cast<std::size_t>(std::count(events.begin(), events.end(), event));
    }

    test::TempFolder folder;
    const std::string log = folder.path + "/events.jsonl";
};

TEST_F(EventLogRun, AKilledTargetIsLoggedAndARenamedLogIsOpenedAgain) {
    const std::string sleeper = test::copyTestProgram("idle_sleeper", folder.path);
    writeConfig(sleeper, 20);
    const auto started = [&](std::size_t restarts) {
        return test::waitUntil(
            [&] { return count(log, "restarted") == restarts && test::runningInstancesOf(sleeper).size() == 1; });
    };
    const test::WatchdogRun run =
        test::runWatchdog(folder.path, {"--events", "events.jsonl", "run.ini"}, "", 30s, [&](pid_t watchdog) {
            if (!started(1)) return;
            test::killInstancesOf(sleeper);
            if (!started(2)) return;
            std::rename(log.c_str(), (log + ".1").c_str()); // as log rotation does
            test::killInstancesOf(sleeper);
            if (started(1)) stop(watchdog, SIGTERM);
        });
    test::killInstancesOf(sleeper);
    EXPECT_EQ(run.exitCode, kExitStopped) << run.output;
    EXPECT_EQ(members(log + ".1", "event"), (std::vector<std::string>{"surveillance started", "not running",
                                                                      "restarted", "not running", "restarted"}));
    EXPECT_EQ(members(log + ".1", "restarts"), (std::vector<std::string>{"0", "0", "1", "1", "2"}));
    EXPECT_EQ(members(log, "event"), (std::vector<std::string>{"not running", "restarted", "stopped"}));
    EXPECT_EQ(members(log, "restarts"), (std::vector<std::string>{"2", "3", "3"}));
    std::vector<std::string> times = members(log + ".1", "time");
    for (const std::string& time : members(log, "time")) times.push_back(time);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_LT(times.front(), times.back());
}

TEST_F(EventLogRun, EachStopSignalEndsTheSleepAndTheRun) {
    // The first check would come after ten minutes, far past the limit.
    writeConfig(folder.path + "/missing", 600000);
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        std::remove(log.c_str());
        const test::WatchdogRun run =
            test::runWatchdog(folder.path, {"run.ini", "--events=events.jsonl"}, "", 20s, [&](pid_t watchdog) {
                if (test::waitUntil([&] { return count(log, "surveillance started") == 1; }))
                    stop(watchdog, signalNumber);
            });
        EXPECT_EQ(run.exitCode, kExitStopped) << signalNumber << "\n" << run.output;
        EXPECT_EQ(run.output.substr(run.output.size() - 10), "\nStopped.\n");
        EXPECT_EQ(members(log, "event"), (std::vector<std::string>{"surveillance started", "stopped"}));
    }
}

} // namespace
} // namespace procguard
