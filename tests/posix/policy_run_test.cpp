// The real watchdog on Linux with the [health] and [restart] sections: a
// frozen server ended and started again, a crash loop backing off, and a
// restart the moment the target ends.
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <ctime>

#include <gtest/gtest.h>

#include "config_text.h"
#include "event_line.h"
#include "posix/process_support.h"
#include "posix/watchdog_run_support.h"

namespace procguard {
namespace {

using namespace std::chrono_literals;

// A port no one listens on now, for a server that is to take it.
int freePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    close(probe);
    return ntohs(address.sin_port);
}

// "2026-12-09T14:30:05.123Z" as milliseconds since 1970.
long long millisecondsOf(const std::string& time) {
    std::tm parts{};
    parts.tm_year = std::stoi(time.substr(0, 4)) - 1900;
    parts.tm_mon = std::stoi(time.substr(5, 2)) - 1;
    parts.tm_mday = std::stoi(time.substr(8, 2));
    parts.tm_hour = std::stoi(time.substr(11, 2));
    parts.tm_min = std::stoi(time.substr(14, 2));
    parts.tm_sec = std::stoi(time.substr(17, 2));
    return static_cast<long long>(timegm(&parts)) * 1000 + std::stoll(time.substr(20, 3));
}

class PolicyRun : public testing::Test {
protected:
    std::vector<std::string> events(const std::string& name = "event") {
        return test::membersOf(test::readFile(folder.path + "/events.jsonl"), name);
    }
    test::WatchdogRun watch(const test::RunConfig& config, const std::function<void(pid_t)>& whileRunning = {}) {
        test::writeBytes(folder.path + "/run.ini", test::configText(config));
        return test::runWatchdog(folder.path, {"--events", "events.jsonl", "run.ini"}, "", 60s, whileRunning);
    }
    test::TempFolder folder;
};

TEST_F(PolicyRun, AServerThatStopsAnsweringIsEndedAndStartedAgain) {
    const std::string server = test::copyTestProgram("http_server", folder.path);
    const std::string port = std::to_string(freePort());
    const test::WatchdogRun run = watch(
        {.processName = server,
         .commandParams = "report.txt " + port,
         .checkPeriod = 100,
         .responseTimeout = 500,
         .finishType = 2,
         .finishCount = 2,
         .moreSections = "[health]\nhealthUrl=http://127.0.0.1:" + port + "/ok\nfailedChecks=2\nstartGrace=1000\n"},
        [&](pid_t) {
            // Answered once, then frozen, as a hung server is.
            if (!test::waitUntil([&] { return test::contains(test::readFile(folder.path + "/report.txt"), "/ok"); }))
                return;
            for (pid_t pid : test::runningInstancesOf(server)) kill(pid, SIGSTOP);
            test::waitUntil([&] { return !events().empty() && events().back() == "finished"; }, 30s);
        });
    test::killInstancesOf(server);
    const std::vector<std::string> seen = events();
    ASSERT_GE(seen.size(), 5u) << run.output;
    EXPECT_EQ(std::vector<std::string>(seen.end() - 5, seen.end()),
              (std::vector<std::string>{"unhealthy", "unhealthy", "terminated", "restarted", "finished"}));
    EXPECT_EQ(events("probe")[seen.size() - 4], "url");
    EXPECT_TRUE(test::contains(run.output, "Process unhealthy: no answer from http://127.0.0.1:" + port +
                                               "/ok within 500 ms (2 of 2 failed checks).\n"))
        << run.output;
}

TEST_F(PolicyRun, ACrashLoopBacksOffAndEachStartWaitsItsDelay) {
    const std::string target = test::copyTestProgram("exit_at_once", folder.path);
    watch({.processName = target,
           .checkPeriod = 50,
           .responseTimeout = 500,
           .finishType = 2,
           .finishCount = 6,
           .moreSections = "[restart]\nbackoffLimit=400\n"});
    const std::vector<std::string> seen = events(), delays = events("delay"), times = events("time");
    std::vector<std::string> told;
    long long lastStart = -1, waited = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        if (seen[i] == "restart delayed") {
            told.push_back(delays[i]);
            waited = std::stoll(delays[i]);
        }
        if (seen[i] != "restarted") continue;
        // A busy machine only makes the gaps longer; none may be shorter.
        if (lastStart >= 0) {
            EXPECT_GE(millisecondsOf(times[i]) - lastStart, waited - 1) << i;
        }
        lastStart = millisecondsOf(times[i]);
        waited = 0;
    }
    EXPECT_EQ(told, (std::vector<std::string>{"50", "100", "200", "400", "400"}));
}

TEST_F(PolicyRun, RestartOnExitStartsTheTargetWhenItEndsNotAtTheNextCheck) {
    // The target lives a second; the next check would come 5 s after the
    // start. Only the end of the held target can bring the restart sooner.
    const std::string sleeper = test::copyTestProgram("idle_sleeper", folder.path);
    const test::WatchdogRun run = watch({.processName = sleeper,
                                         .commandParams = "1",
                                         .checkPeriod = 5000,
                                         .responseTimeout = 500,
                                         .finishType = 2,
                                         .finishCount = 2,
                                         .moreSections = "[restart]\nrestartOnExit=1\n"});
    test::killInstancesOf(sleeper);
    const std::vector<std::string> seen = events(), times = events("time");
    ASSERT_EQ(seen, (std::vector<std::string>{"surveillance started", "not running", "restarted", "not running",
                                              "restarted", "finished"}))
        << run.output;
    EXPECT_LT(millisecondsOf(times[4]) - millisecondsOf(times[2]), 4000);
}

} // namespace
} // namespace procguard
