// What the loop does with the [health] and [restart] settings: failed
// checks counted in a row, the grace after a start, the probes' order, the
// dump before a termination, and the back-off of a crash loop.
#include <gtest/gtest.h>

#include "app/event_log.h"
#include "app/exit_codes.h"
#include "app/surveillance.h"
#include "event_line.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

const std::wstring kTarget = L"C:\\Jobs\\server.exe";
const std::wstring kUrl = L"http://127.0.0.1:8080/";
const std::wstring kNoAnswer = L"no answer from http://127.0.0.1:8080/ within 1000 ms";

class WatchPolicy : public ::testing::Test {
protected:
    void SetUp() override {
        test::resetSystem();
        openEventLog(L"C:\\Logs\\events.jsonl");
        settings.processName = kTarget;
        settings.checkPeriod = 500;
        settings.responseTimeout = 1000;
    }
    void TearDown() override { openEventLog(L""); }
    // The run, ended by the restart count; its events' names.
    std::vector<std::string> runUntilRestart(std::int32_t restarts) {
        settings.finishCondition = {FinishKind::RestartCount, false, L"", restarts};
        EXPECT_EQ(runSurveillance(settings, 1), kExitFinished);
        return test::membersOf(fake::system().logText, "event");
    }
    const std::wstring& output() { return fake::system().output; }
    std::vector<std::wstring> probeCalls() {
        std::vector<std::wstring> probes;
        for (const std::wstring& call : fake::system().calls)
            for (const wchar_t* kind : {L"modified ", L"memory ", L"get ", L"command ", L"probe ", L"sleep "})
                if (call.starts_with(kind)) probes.push_back(call.substr(0, call.find(L' ')));
        return probes;
    }

    WatchSettings settings;
};

TEST_F(WatchPolicy, FailuresInARowEndTheTargetAndAPassingCheckResetsThem) {
    settings.health.healthUrl = kUrl;
    settings.health.failedChecks = 3;
    fake::addProcess(kTarget);
    fake::system().urlAnswers[kUrl] = failure(kNoAnswer);
    fake::system().duringSleep = [](std::size_t sleep) {
        if (sleep == 3) fake::system().urlAnswers.clear();
        if (sleep == 4) fake::system().urlAnswers[kUrl] = failure(kNoAnswer);
    };
    EXPECT_EQ(runUntilRestart(1),
              (std::vector<std::string>{"surveillance started", "unhealthy", "unhealthy", "unhealthy", "unhealthy",
                                        "unhealthy", "terminated", "restarted", "finished"}));
    EXPECT_EQ(test::membersOf(fake::system().logText, "failures")[5], "3");
    EXPECT_EQ(test::membersOf(fake::system().logText, "probe")[1], "url");
    EXPECT_NE(output().find(L"Process unhealthy: " + kNoAnswer + L" (2 of 3 failed checks).\nProcess unhealthy: " +
                            kNoAnswer + L" (1 of 3 failed checks).\n"),
              std::wstring::npos)
        << output();
    EXPECT_NE(output().find(L"(3 of 3 failed checks).\nProcess terminated, restarting...\nProcess restarted (1 runs)."),
              std::wstring::npos);
}

TEST_F(WatchPolicy, ProbesRunCheapestFirstAndTheFirstFailureDecides) {
    // Two checks: the heartbeat needs the second, a fresh target getting the
    // whole timeout at the first.
    const std::vector<std::wstring> all = {L"modified", L"memory", L"get", L"command"};
    for (std::size_t failing = 0; failing <= all.size(); ++failing) {
        SCOPED_TRACE(failing);
        test::resetSystem();
        settings.health = {L"C:\\beat", 100, kUrl, L"C:\\check.exe", 64, 9, 0};
        const ProcessId id = fake::addProcess(kTarget);
        fake::FakeSystem& s = fake::system();
        s.fileTimes[L"C:\\beat"] = wallClockNow() + (failing == 0 ? -std::chrono::hours(1) : std::chrono::hours(1));
        s.residentBytes[id] = (failing == 1 ? 65 : 63) * 1024 * 1024;
        if (failing == 2) s.urlAnswers[kUrl] = failure(kNoAnswer);
        if (failing == 3) s.commandResults[L"C:\\check.exe"] = failure(L"the command exited with 1");
        SurveillanceState state = startingState(settings);
        runCheck(settings, state);
        s.calls.clear();
        runCheck(settings, state);
        std::vector<std::wstring> expected = {L"sleep"};
        expected.insert(expected.end(), all.begin(), all.begin() + std::min(failing + 1, all.size()));
        EXPECT_EQ(probeCalls(), expected);
        EXPECT_EQ(state.failures != 0, failing < all.size());
    }
}

TEST_F(WatchPolicy, FailuresInTheGraceAfterAStartDoNotCount) {
    settings.health.healthUrl = kUrl;
    settings.health.startGrace = 800;
    fake::system().urlAnswers[kUrl] = failure(kNoAnswer);
    // Started at 500 ms; not probed at 1000 ms; probed and ended at 1500 ms.
    EXPECT_EQ(runUntilRestart(2), (std::vector<std::string>{"surveillance started", "not running", "restarted",
                                                            "unhealthy", "terminated", "restarted", "finished"}));
    EXPECT_EQ(probeCalls(), (std::vector<std::wstring>{L"sleep", L"sleep", L"sleep", L"get"}));
}

TEST_F(WatchPolicy, TheWindowProbeCountsItsMissesToo) {
    settings.health.failedChecks = 2;
    fake::addProcess(kTarget, {{5, false, false}});
    EXPECT_EQ(runUntilRestart(1), (std::vector<std::string>{"surveillance started", "not responding", "not responding",
                                                            "terminated", "restarted", "finished"}));
    EXPECT_NE(output().find(L"have a nice day!\nProcess not responding (1 of 2 failed checks).\n"
                            L"Process not responding, terminating...\nProcess terminated, restarting...\n"),
              std::wstring::npos)
        << output();
}

TEST_F(WatchPolicy, AProbeCutShortByAStopCountsNothing) {
    settings.health.healthUrl = kUrl;
    fake::addProcess(kTarget);
    fake::system().urlAnswers[kUrl] = failure(L"the check was cut short by a stop request");
    fake::system().duringProbe = [](const std::wstring&) { fake::system().stopRequested = true; };
    EXPECT_EQ(runSurveillance(settings, 1), kExitStopped);
    EXPECT_EQ(test::membersOf(fake::system().logText, "event"),
              (std::vector<std::string>{"surveillance started", "stopped"}));
    EXPECT_EQ(fake::system().processes.size(), 1u) << "left running";
}

TEST_F(WatchPolicy, AHungTargetIsDumpedBeforeItIsTerminated) {
    settings.restart.dumpFolder = L"C:\\Dumps";
    const ProcessId hung = fake::addProcess(kTarget, {{5, false, false}});
    EXPECT_EQ(runUntilRestart(1), (std::vector<std::string>{"surveillance started", "not responding", "dumped",
                                                            "terminated", "restarted", "finished"}));
    ASSERT_EQ(fake::system().dumps.size(), 1u);
    EXPECT_EQ(fake::system().dumps[0], L"C:\\Dumps\\server_1000_20261207T170809Z.dmp") << "program, id, UTC time";
    EXPECT_NE(output().find(L"Process dumped to " + fake::system().dumps[0] + L".\n"), std::wstring::npos) << output();
    const auto& calls = fake::system().calls;
    const auto dump = std::find(calls.begin(), calls.end(), L"dump " + std::to_wstring(hung) + L" C:\\Dumps");
    EXPECT_TRUE(dump != calls.end() &&
                std::find(dump, calls.end(), L"terminate " + std::to_wstring(hung) + L" 1000") != calls.end());

    test::resetSystem();
    fake::addProcess(kTarget, {{5, false, false}});
    fake::system().dumpsFail = true;
    EXPECT_EQ(runUntilRestart(1), (std::vector<std::string>{"surveillance started", "not responding", "dump failed",
                                                            "terminated", "restarted", "finished"}));
}

TEST_F(WatchPolicy, AHungWindowOfAChildInTheTreeEndsTheWholeTarget) {
    // The start of check 1 is a wrapper; by check 2 it runs the real
    // program, whose window hangs.
    fake::system().duringSleep = [](std::size_t sleep) {
        if (sleep == 2)
            fake::addTreeProcess(fake::system().processes[0].id, L"C:\\Jobs\\real.exe", {{9, false, false}});
    };
    EXPECT_EQ(runUntilRestart(2), (std::vector<std::string>{"surveillance started", "not running", "restarted",
                                                            "not responding", "terminated", "restarted", "finished"}));
    EXPECT_EQ(fake::system().probed, std::vector<WindowHandle>{9});
    EXPECT_EQ(fake::system().processes.size(), 1u) << "the wrapper and its child ended, one new start runs";
}

// The target never comes up: every start ends at once.
TEST_F(WatchPolicy, ACrashLoopWaitsTwiceAsLongEachTimeUpToTheLimit) {
    settings.checkPeriod = 200;
    settings.restart.backoffLimit = 1000;
    fake::system().startedProcessesRun = false;
    runUntilRestart(6);
    EXPECT_EQ(test::membersOf(fake::system().logText, "delay"),
              (std::vector<std::string>{"", "", "", "", "200", "", "", "400", "", "", "800", "", "", "1000", "", "",
                                        "1000", "", ""}));
    EXPECT_NE(output().find(L"Restart delayed by 200 ms: the target ended 0.2 s after its start.\n"),
              std::wstring::npos);
    EXPECT_EQ(fake::system().starts.size(), 6u) << "a delayed start is no restart";
    EXPECT_EQ(fake::system().clockMs, 4600u) << "started at 200, 600, 1200, 2200, 3400 and 4600 ms";
}

TEST_F(WatchPolicy, ARunAsLongAsTheStableRunClearsTheDelay) {
    settings.checkPeriod = 200;
    settings.restart.backoffLimit = 1000;
    settings.restart.stableRun = 1000;
    // Ends at 400 ms (quick), then at 2000 ms (after a stable run), then at once.
    fake::system().duringSleep = [](std::size_t sleep) {
        if ((sleep == 2 || sleep == 10 || sleep == 11) && !fake::system().processes.empty())
            fake::removeProcess(fake::system().processes[0].id);
    };
    runUntilRestart(4);
    std::vector<std::string> delays = test::membersOf(fake::system().logText, "delay");
    std::erase(delays, "");
    EXPECT_EQ(delays, (std::vector<std::string>{"200", "200"}));
}

TEST_F(WatchPolicy, AStopDuringADelayEndsTheRunWithoutAStart) {
    settings.checkPeriod = 200;
    settings.restart.backoffLimit = 60000;
    fake::system().startedProcessesRun = false;
    // Started at 200 and 600 ms; at 800 the next start is put off to 1200.
    fake::system().duringSleep = [](std::size_t sleep) { fake::system().stopRequested = sleep == 6; };
    EXPECT_EQ(runSurveillance(settings, 1), kExitStopped);
    EXPECT_EQ(fake::system().starts.size(), 2u);
    EXPECT_EQ(fake::system().sleeps, std::vector<std::uint32_t>(6, 200));
}

} // namespace
} // namespace procguard
