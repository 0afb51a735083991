// The health probes on Windows where time decides: a server that does not
// answer in time, a command that does not end in time, and a stop request
// that cuts either short.
#include <gtest/gtest.h>

#include "health_probe_run.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

// A stop as the end of the session brings it: WM_ENDSESSION to this
// process's hidden session window.
void endTheSession() {
    HWND window = nullptr;
    test::waitUntil([&] {
        EnumWindows(
            [](HWND candidate, LPARAM found) -> BOOL {
                DWORD owner = 0;
                wchar_t name[32] = {};
                GetWindowThreadProcessId(candidate, &owner);
                GetClassNameW(candidate, name, 32);
                if (owner != GetCurrentProcessId() || std::wstring(name) != L"procguard_session") return TRUE;
                *reinterpret_cast<HWND*>(found) = candidate;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&window));
        return window != nullptr;
    });
    PostMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
}

class HealthTimeouts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(folder.empty());
        ASSERT_TRUE(CopyFileW(test::testProgramPath(L"idle_sleeper").c_str(), sleeper.c_str(), FALSE));
    }
    void TearDown() override {
        test::terminateInstancesOf(sleeper);
        test::removeFolderTree(folder);
    }
    std::wstring folder = test::makeScratchFolder(L"health");
    std::wstring sleeper = folder + L"\\sleeper.exe"; // an image path of this test's own
};

TEST_F(HealthTimeouts, AServerThatNeverAnswersIsNoAnswerWithinTheLimit) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    const std::wstring url = server.url("/hang");
    EXPECT_EQ(probeHealthUrl(url, 300).error, L"no answer from " + url + L" within 300 ms");
}

TEST_F(HealthTimeouts, AnAnswerWhoseBodyNeverEndsCountsByItsStatus) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    EXPECT_TRUE(probeHealthUrl(server.url("/slow-body"), 1500).ok);
}

TEST_F(HealthTimeouts, ACommandThatHangsIsTerminated) {
    EXPECT_EQ(runHealthCommand(L"\"" + sleeper + L"\" 60", 1500).error, L"the command did not end within 1500 ms");
    EXPECT_TRUE(test::waitUntil([&] { return test::runningInstancesOf(sleeper) == 0; }));
}

TEST_F(HealthTimeouts, AStopCutsAHangingGetShort) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    EXPECT_EXIT(test::runUntilStopped([&] { return probeHealthUrl(server.url("/hang"), test::kFarLimitMs); },
                                      [&] {
                                          test::waitUntil([&] { return server.received("/hang"); });
                                          endTheSession();
                                      },
                                      [] { return true; }),
                testing::ExitedWithCode(0), "as expected");
}

TEST_F(HealthTimeouts, AStopCutsAHangingCommandShortAndEndsIt) {
    EXPECT_EXIT(
        test::runUntilStopped([&] { return runHealthCommand(L"\"" + sleeper + L"\" 600", test::kFarLimitMs); },
                              [&] {
                                  test::waitUntil([&] { return test::runningInstancesOf(sleeper) != 0; });
                                  endTheSession();
                              },
                              [&] { return test::waitUntil([&] { return test::runningInstancesOf(sleeper) == 0; }); }),
        testing::ExitedWithCode(0), "as expected");
}

} // namespace
} // namespace procguard
