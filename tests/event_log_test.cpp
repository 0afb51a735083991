#include "app/event_log.h"

#include <gtest/gtest.h>

#include "app/exit_codes.h"
#include "app/surveillance.h"
#include "platform/fake/fake_system.h"
#include "unit_support.h"

namespace procguard {
namespace {

const std::wstring kTarget = L"C:\\Jobs\\render.exe";

class EventLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::resetSystem();
        openEventLog(L"C:\\Logs\\events.jsonl");
        settings.processName = kTarget;
        settings.commandParams = L"--run <Run>";
        settings.variables.emplace_back(L"<Run>", VariableKind::RestartCount, 0, L"");
        settings.checkPeriod = 500;
        settings.responseTimeout = 1000;
        settings.finishCondition = {FinishKind::RestartCount, false, L"", 3};
    }
    void TearDown() override { openEventLog(L""); }

    WatchSettings settings;
};

TEST_F(EventLogTest, EveryOutcomeOfARunInOrder) {
    // Check 1: a hung target that cannot be terminated, and a start that
    // fails. Check 2: it can be terminated now, and the start works.
    // Check 3: the started target is gone.
    ASSERT_EQ(fake::addProcess(kTarget, {{5, false, false}}), 1000u);
    fake::FakeSystem& s = fake::system();
    s.processes[0].terminable = false;
    s.failingStarts.push_back(kTarget);
    s.duringSleep = [&s](std::size_t sleep) {
        if (sleep == 2) {
            s.processes[0].terminable = true;
            s.failingStarts.clear();
        }
        if (sleep == 3) fake::removeProcess(s.processes[0].id);
    };
    EXPECT_EQ(runSurveillance(settings, 1), kExitFinished);
    EXPECT_EQ(s.logPath, L"C:\\Logs\\events.jsonl");
    EXPECT_EQ(s.logText, R"({"time":"2026-12-07T17:08:09.123Z","event":"surveillance started","restarts":0}
{"time":"2026-12-07T17:08:09.623Z","event":"not responding","restarts":0,"pid":1000,"failures":1}
{"time":"2026-12-07T17:08:09.623Z","event":"failed to terminate","restarts":0,"pid":1000,"error":"it could not be terminated, or did not end within 1000 ms"}
{"time":"2026-12-07T17:08:09.623Z","event":"failed to restart","restarts":1,"arguments":"--run 1","variables":{"<Run>":1},"error":"The system cannot find the file specified."}
{"time":"2026-12-07T17:08:10.123Z","event":"not responding","restarts":1,"pid":1000,"failures":1}
{"time":"2026-12-07T17:08:10.123Z","event":"terminated","restarts":1,"pid":1000}
{"time":"2026-12-07T17:08:10.123Z","event":"restarted","restarts":2,"pid":1001,"arguments":"--run 2","variables":{"<Run>":2}}
{"time":"2026-12-07T17:08:10.623Z","event":"not running","restarts":2}
{"time":"2026-12-07T17:08:10.623Z","event":"restarted","restarts":3,"pid":1002,"arguments":"--run 3","variables":{"<Run>":3}}
{"time":"2026-12-07T17:08:10.623Z","event":"finished","restarts":3,"variables":{"<Run>":3}}
)");
}

TEST_F(EventLogTest, AStopDuringTheSleepEndsTheRunCleanly) {
    fake::system().startedProcessesRun = false;
    fake::system().duringSleep = [](std::size_t sleep) { fake::system().stopRequested = sleep == 2; };
    EXPECT_EQ(runSurveillance(settings, 1), kExitStopped);
    EXPECT_EQ(fake::system().privilegeChanges, std::vector<bool>{false});
    EXPECT_TRUE(fake::system().output.ends_with(L"Process restarted (1 runs).\n\nStopped.\n"));
    EXPECT_TRUE(fake::system().logText.ends_with(
        "\"restarts\":1,\"arguments\":\"--run 1\",\"variables\":{\"<Run>\":1}}\n"
        "{\"time\":\"2026-12-07T17:08:10.123Z\",\"event\":\"stopped\",\"restarts\":1}\n"));
}

TEST_F(EventLogTest, AnUnwritableLogIsReportedAndTheRunGoesOn) {
    fake::system().startedProcessesRun = false;
    fake::system().logWritesFail = true; // and again from the third check on
    fake::system().duringSleep = [](std::size_t sleep) { fake::system().logWritesFail = sleep != 2; };
    EXPECT_EQ(runSurveillance(settings, 1), kExitFinished);
    const std::wstring said = L"The event log C:\\Logs\\events.jsonl cannot be written, watching goes on without it: "
                              L"Access is denied.\n";
    const std::wstring& out = fake::system().output;
    EXPECT_NE(out.find(L"have a nice day!\n" + said + L"Process not running"), std::wstring::npos) << out;
    EXPECT_NE(out.find(L"(2 runs).\nProcess not running, restarting...\n" + said + L"Adjusting"), std::wstring::npos);
    EXPECT_EQ(out.find(said, out.find(said) + 1), out.rfind(said)) << "said once per failing stretch";
    EXPECT_NE(out.find(L"Process restarted (3 runs).\nAll done now."), std::wstring::npos) << out;
    EXPECT_EQ(fake::system().logText,
              R"({"time":"2026-12-07T17:08:10.123Z","event":"not running","restarts":1}
{"time":"2026-12-07T17:08:10.123Z","event":"restarted","restarts":2,"arguments":"--run 2","variables":{"<Run>":2}}
)");
}

TEST(EventLine, EscapesEveryTextAndStampsUtcMilliseconds) {
    std::wstring arguments = L"say \"hi\" C:\\dir\x01\x1f\n\t\u00e9\U0001F600";
    arguments += static_cast<wchar_t>(0xDC80); // a byte that was not UTF-8
    arguments += static_cast<wchar_t>(0xD800); // half a pair
    arguments += L"end";
    const VariableList variables = {Variable(L"<a\"b>", VariableKind::RestartCount, 0, L""),
                                    Variable(L"<a\"b>", VariableKind::FileCount, 0, L"")};
    EventRecord record{.event = WatchEvent::FailedToRestart,
                       .restarts = 4294967295u,
                       .pid = 7,
                       .arguments = &arguments,
                       .variables = &variables,
                       .error = L"no\rway"};
    const auto leapDay = std::chrono::sys_days{std::chrono::year{2024} / 2 / 29} + std::chrono::milliseconds(86399999);
    EXPECT_EQ(formatEventLine(record, leapDay),
              "{\"time\":\"2024-02-29T23:59:59.999Z\",\"event\":\"failed to restart\",\"restarts\":4294967295,"
              "\"pid\":7,\"arguments\":\"say \\\"hi\\\" C:\\\\dir\\u0001\\u001f\\n\\t\xC3\xA9\xF0\x9F\x98\x80"
              "\\udc80\\ud800end\",\"variables\":{\"<a\\\"b>\":0,\"<a\\\"b>\":0},\"error\":\"no\\rway\"}\n");
    // Before 1970 the milliseconds still count forward from the second.
    const auto before = std::chrono::system_clock::time_point(std::chrono::milliseconds(-1));
    EXPECT_EQ(formatEventLine({.event = WatchEvent::Stopped}, before),
              "{\"time\":\"1969-12-31T23:59:59.999Z\",\"event\":\"stopped\",\"restarts\":0}\n");
}

} // namespace
} // namespace procguard
