// The health probes on Linux where time decides: a server that does not
// answer in time, a command that does not end in time, and a stop request
// that cuts either short.
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "health_probe_run.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

using test::widen;

TEST(HealthUrlTime, AFrozenServerIsNoAnswerWithinTheLimit) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    // The kernel still accepts the connection and takes the request; nothing answers.
    ASSERT_EQ(kill(server.pid, SIGSTOP), 0);
    const std::wstring url = server.url("/ok");
    EXPECT_EQ(probeHealthUrl(url, 300).error, L"no answer from " + url + L" within 300 ms");
    kill(server.pid, SIGCONT);
}

TEST(HealthUrlTime, AnAnswerWhoseBodyNeverEndsCountsByItsStatus) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    EXPECT_TRUE(probeHealthUrl(server.url("/slow-body"), 1500).ok);
}

TEST(HealthCommandTime, ACommandThatHangsEndsWithItsWholeGroup) {
    test::TempFolder folder;
    const std::string sleeper = test::copyTestProgram("idle_sleeper", folder.path);
    // The shell waits for the second sleeper; the first runs in the background.
    const std::wstring line = widen("/bin/sh -c \"'" + sleeper + "' 60 & '" + sleeper + "' 60\"");
    EXPECT_EQ(runHealthCommand(line, 1500).error, L"the command did not end within 1500 ms");
    EXPECT_TRUE(test::waitUntil([&] { return test::runningInstancesOf(sleeper).empty(); }));
    EXPECT_EQ(test::zombieChildrenOf(getpid()), 0);
}

TEST(HealthStop, AStopCutsAHangingGetShort) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    EXPECT_EXIT(test::runUntilStopped([&] { return probeHealthUrl(server.url("/hang"), test::kFarLimitMs); },
                                      [&] {
                                          test::waitUntil([&] { return server.received("/hang"); });
                                          kill(getpid(), SIGTERM);
                                      },
                                      [] { return true; }),
                testing::ExitedWithCode(0), "as expected");
}

TEST(HealthStop, AStopCutsAHangingCommandShortAndEndsIt) {
    test::TempFolder folder;
    const std::string sleeper = test::copyTestProgram("idle_sleeper", folder.path);
    const auto running = [&] { return !test::runningInstancesOf(sleeper).empty(); };
    EXPECT_EXIT(test::runUntilStopped([&] { return runHealthCommand(widen(sleeper + " 600"), test::kFarLimitMs); },
                                      [&] {
                                          test::waitUntil(running);
                                          kill(getpid(), SIGTERM);
                                      },
                                      [&] {
                                          return test::waitUntil([&] { return !running(); }) &&
                                                 test::zombieChildrenOf(getpid()) == 0;
                                      }),
                testing::ExitedWithCode(0), "as expected");
}

} // namespace
} // namespace procguard
