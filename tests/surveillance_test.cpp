#include "app/surveillance.h"

#include <gtest/gtest.h>

#include "target/process_lookup.h"
#include "console/console.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

const std::wstring kTarget = L"C:\\Jobs\\render.exe";

class SurveillanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::resetSystem();
        settings.processName = kTarget;
        settings.commandParams = L"-log run.txt";
        settings.checkPeriod = 500;
        settings.responseTimeout = 1000;
    }
    // One check; the run's state starts at the first one, from the settings
    // as the test made them by then.
    bool check() {
        if (!started) state = startingState(settings);
        started = true;
        return runCheck(settings, state);
    }
    // Runs `n` checks of a run that never finishes by itself.
    void checks(int n) {
        for (int i = 0; i < n; ++i) check();
    }
    const std::wstring& output() { return fake::system().output; }

    WatchSettings settings;
    SurveillanceState state;
    bool started = false;
};

TEST_F(SurveillanceTest, MissingTargetIsStartedOneCheckPeriodLater) {
    settings.finishCondition.type = FinishKind::RestartCount;
    settings.finishCondition.dataInt = 1;
    EXPECT_EQ(runSurveillance(settings, 1), 0);
    // The check pauses before it looks; the debug privilege is switched off
    // again, silently, before the last message.
    EXPECT_EQ(fake::system().calls,
              (std::vector<std::wstring>{L"print Ready to go. Press any key to start process surveillance.\n", L"key",
                                         L"print Surveillance started. You may relax now, have a nice day!\n",
                                         L"sleep 500", L"enumerate", L"print Process not running, restarting...\n",
                                         L"start " + kTarget, L"print Process restarted (1 runs).\n", L"privilege off",
                                         L"print All done now. Press any key to exit...", L"key"}));
    ASSERT_EQ(fake::system().starts.size(), 1u);
    EXPECT_EQ(fake::system().starts[0].arguments, L"-log run.txt");
}

TEST_F(SurveillanceTest, RunningTargetWithoutWindowIsLeftAlone) {
    fake::addProcess(L"c:\\jobs\\RENDER.exe");
    checks(3);
    EXPECT_EQ(output(), L"");
    EXPECT_TRUE(fake::system().starts.empty());
    EXPECT_TRUE(fake::system().probed.empty());
    EXPECT_EQ(state.restartCount, 0u);
}

TEST_F(SurveillanceTest, AnsweringWindowIsProbedAndLeftAlone) {
    fake::addProcess(kTarget, {{77, true, false}});
    checks(2);
    EXPECT_EQ(output(), L"");
    EXPECT_EQ(fake::system().probed, (std::vector<WindowHandle>{77, 77}));
    EXPECT_TRUE(fake::system().terminated.empty());
}

TEST_F(SurveillanceTest, HungTargetIsTerminatedAndRestartedInOneCheck) {
    settings.commandParams = L"-n <A> -m <A>";
    settings.variables.emplace_back(L"<A>", VariableKind::RestartCount, 10, L"");
    const ProcessId hung = fake::addProcess(kTarget, {{5, false, false}});
    checks(1);
    EXPECT_EQ(output(), L"Process not responding, terminating...\nProcess terminated, restarting...\n"
                        L"Adjusting variable values:\n<A> : 11\nProcess restarted (1 runs).\n");
    // The window gets the response timeout, the termination too; the check
    // period is only the pause before the lookup.
    std::vector<std::wstring> calls = fake::system().calls;
    std::erase_if(calls, [](const std::wstring& call) { return call.starts_with(L"print "); });
    EXPECT_EQ(calls,
              (std::vector<std::wstring>{L"sleep 500", L"enumerate", L"probe 5 1000",
                                         L"terminate " + std::to_wstring(hung) + L" 1000", L"start " + kTarget}));
    ASSERT_EQ(fake::system().starts.size(), 1u);
    EXPECT_EQ(fake::system().starts[0].arguments, L"-n 11 -m 11");
    ASSERT_EQ(fake::system().processes.size(), 1u);
    EXPECT_NE(fake::system().processes[0].id, hung);
}

TEST_F(SurveillanceTest, TargetThatCannotBeTerminatedIsStartedAnyway) {
    fake::addProcess(kTarget, {{5, false, false}});
    fake::system().processes[0].terminable = false;
    checks(1);
    EXPECT_EQ(output(), L"Process not responding, terminating...\n"
                        L"Failed to terminate process. Restarting anyway, you may want to watch this...\n"
                        L"Process restarted (1 runs).\n");
    EXPECT_EQ(fake::system().starts.size(), 1u);
    EXPECT_EQ(state.restartCount, 1u);
}

TEST_F(SurveillanceTest, OnlyTheFirstInstanceIsProbed) {
    const ProcessId first = fake::addProcess(kTarget, {{1, false, false}});
    fake::addProcess(kTarget, {{2, false, false}});
    checks(1);
    EXPECT_EQ(fake::system().probed, std::vector<WindowHandle>{1});
    EXPECT_EQ(fake::system().terminated, std::vector<ProcessId>{first});
}

TEST_F(SurveillanceTest, VanishedWindowIsSkippedForTheNextOne) {
    fake::addProcess(kTarget, {{1, false, true}, {2, true, false}});
    checks(1);
    EXPECT_EQ(fake::system().probed, std::vector<WindowHandle>{2});
    EXPECT_EQ(output(), L"");
}

TEST_F(SurveillanceTest, FailedStartIsReportedAndStillCounted) {
    fake::system().failingStarts.push_back(kTarget);
    checks(2);
    const std::wstring failed = L": " + kTarget + L": The system cannot find the file specified.\n";
    EXPECT_EQ(output(), L"Process not running, restarting...\nFailed to restart process (1 runs)" + failed +
                            L"Process not running, restarting...\nFailed to restart process (2 runs)" + failed);
    EXPECT_EQ(state.restartCount, 2u);
}

// A bare name is the program the search finds; until it finds one, each
// check looks again and starts the bare name.
TEST_F(SurveillanceTest, BareNameIsTheProgramTheSearchFinds) {
    settings.processName = L"render.exe";
    fake::system().failingStarts.push_back(L"render.exe");
    checks(1);
    EXPECT_NE(output().find(L"(1 runs): render.exe: The system cannot"), std::wstring::npos) << output();
    fake::system().searchablePrograms[L"render.exe"] = kTarget;
    checks(5);
    ASSERT_EQ(fake::system().starts.size(), 2u);
    EXPECT_EQ(fake::system().starts[1].path, kTarget);
}

TEST_F(SurveillanceTest, VariablesAreEvaluatedOnChecksWithoutRestart) {
    fake::addProcess(kTarget);
    settings.variables.emplace_back(L"<F>", VariableKind::FileCount, 1, L"C:\\out\\*");
    settings.finishCondition = {FinishKind::VariableValue, true, L"<F>", 4};
    fake::system().fileCounts[L"C:\\out\\*"] = 3;
    EXPECT_FALSE(check());
    fake::system().fileCounts[L"C:\\out\\*"] = 4;
    EXPECT_TRUE(check());
    EXPECT_EQ(output(), L"");
    EXPECT_TRUE(fake::system().starts.empty());
}

TEST_F(SurveillanceTest, RestartLimitEndsTheRunAfterThatRestart) {
    settings.finishCondition = {FinishKind::RestartCount, false, L"", 3};
    fake::system().startedProcessesRun = false;
    EXPECT_EQ(runSurveillance(settings, 1), 0);
    const std::wstring& out = output();
    EXPECT_NE(out.find(L"Process restarted (3 runs).\nAll done now. Press any key to exit..."), std::wstring::npos);
    EXPECT_EQ(out.find(L"(4 runs)"), std::wstring::npos);
    EXPECT_EQ(fake::system().sleeps.size(), 3u);
}

TEST_F(SurveillanceTest, ConditionThatHoldsAtOnceStillRunsOneFullCheck) {
    settings.finishCondition = {FinishKind::RestartCount, false, L"", -4};
    EXPECT_EQ(runSurveillance(settings, 1), 0);
    EXPECT_EQ(fake::system().sleeps.size(), 1u);
    EXPECT_EQ(fake::system().starts.size(), 1u);
}

TEST_F(SurveillanceTest, CheckPeriodBelowTheShortestIsRaisedAndSaidOnce) {
    settings.checkPeriod = 0;
    settings.finishCondition = {FinishKind::RestartCount, false, L"", 2};
    fake::system().startedProcessesRun = false;
    EXPECT_EQ(runSurveillance(settings, 1), 0);
    EXPECT_EQ(fake::system().sleeps, (std::vector<std::uint32_t>{10, 10}));
    EXPECT_TRUE(output().starts_with(L"A check period of 0 ms would keep a processor busy; checking every 10 ms "
                                     L"instead.\nReady to go."));
}

TEST_F(SurveillanceTest, FailedEnumerationCountsAsMissing) {
    fake::addProcess(kTarget);
    fake::system().enumerationFails = true;
    checks(1);
    EXPECT_EQ(state.restartCount, 1u);
}

TEST_F(SurveillanceTest, StartedProcessIsTheTargetWhileItLivesWhateverItsImage) {
    settings.processName = L"C:\\Jobs\\render.bat";
    fake::system().startedImagePath = L"C:\\Windows\\System32\\cmd.exe"; // a batch file runs as cmd.exe
    checks(4);
    EXPECT_EQ(fake::system().starts.size(), 1u);
    const int enumerations = fake::system().enumerations;
    checks(3);
    EXPECT_EQ(fake::system().enumerations, enumerations) << "a healthy held target needs no enumeration";

    fake::removeProcess(state.target.process.id); // it ended
    checks(1);
    EXPECT_EQ(fake::system().enumerations, enumerations + 1);
    EXPECT_EQ(state.restartCount, 2u);
    EXPECT_EQ(fake::system().heldHandles, 1);
}

TEST_F(SurveillanceTest, FoundProcessIsHeldWhileItsImageMatches) {
    settings.processName = L"render.exe"; // relative: resolved as a start would find it
    fake::system().resolvedPaths[L"render.exe"] = kTarget;
    const ProcessId found = fake::addProcess(L"C:\\JOBS\\RENDER.EXE", {{7, true, false}});
    checks(3);
    EXPECT_EQ(fake::system().enumerations, 1);
    EXPECT_EQ(fake::system().probed, (std::vector<WindowHandle>{7, 7, 7}));
    EXPECT_EQ(state.restartCount, 0u);

    fake::system().processes[0].imagePath = L"C:\\Other\\tool.exe"; // its id passed to another program
    checks(1);
    EXPECT_EQ(fake::system().enumerations, 2);
    EXPECT_EQ(state.restartCount, 1u);
    EXPECT_NE(state.target.process.id, found);
}

TEST_F(SurveillanceTest, ProcessThatCannotBeHeldIsLookedUpAtEveryCheck) {
    fake::addProcess(kTarget, {{7, true, false}});
    fake::system().processes[0].holdable = false;
    checks(2);
    EXPECT_EQ(fake::system().enumerations, 2);
    EXPECT_EQ(fake::system().probed, (std::vector<WindowHandle>{7, 7}));
    EXPECT_EQ(fake::system().heldHandles, 0);
    EXPECT_EQ(state.restartCount, 0u);
}

TEST_F(SurveillanceTest, FolderIsNeverStarted) {
    fake::system().folders.push_back(kTarget);
    settings.finishCondition = {FinishKind::RestartCount, false, L"", 1};
    EXPECT_EQ(runSurveillance(settings, 1), 0);
    EXPECT_NE(output().find(L"Failed to restart process (1 runs): " + kTarget + L": It is a folder, not a program.\n"),
              std::wstring::npos)
        << output();
    EXPECT_TRUE(fake::system().starts.empty());
    EXPECT_EQ(fake::system().heldHandles, 0);
}

TEST(ProcessLookupTest, MatchesWholePathsInTheFirstInstanceOnly) {
    test::resetSystem();
    fake::addProcess(L"C:\\Jobs\\render.exe.bak");
    fake::addProcess(L"");
    const ProcessId first = fake::addProcess(L"C:\\JOBS\\Render.EXE");
    fake::addProcess(L"C:\\Jobs\\render.exe");
    EXPECT_EQ(findProcessByPath(L"c:\\jobs\\render.exe"), first);
    EXPECT_EQ(findProcessByPath(L"C:/Jobs/render.exe"), 0u);
    EXPECT_EQ(findProcessByPath(L"C:\\Jobs\\render"), 0u);
    EXPECT_EQ(findProcessByPath(L"<unknown>"), fake::system().processes[1].id);
    fake::system().foldCase = false; // as on Linux, where names are case-sensitive
    EXPECT_EQ(findProcessByPath(L"c:\\jobs\\render.exe"), 0u);
    EXPECT_EQ(findProcessByPath(L"C:\\Jobs\\render.exe"), fake::system().processes[3].id);
}

TEST(ProcessLookupTest, ListKeepsEnumerationOrderAndUnreadableEntries) {
    test::resetSystem();
    fake::addProcess(L"C:\\b.exe");
    fake::addProcess(L"");
    fake::addProcess(L"C:\\a.exe");
    fake::addProcess(L"");
    fake::system().processes.back().kernelThread = true; // no program image at all: not listed
    std::vector<std::wstring> list{L"kept"};
    EXPECT_TRUE(listRunningProcesses(list));
    EXPECT_EQ(list, (std::vector<std::wstring>{L"kept", L"C:\\b.exe", L"<unknown>", L"C:\\a.exe"}));
    fake::system().enumerationFails = true;
    EXPECT_FALSE(listRunningProcesses(list));
    EXPECT_EQ(list.size(), 4u);
}

} // namespace
} // namespace procguard
