// The whole watchdog, run as a user runs it with a config file: it starts a
// missing target with its arguments, and terminates and restarts a hung one.
#include <gtest/gtest.h>

#include "config/profile.h"
#include "dialogue_run.h"
#include "target/process_lookup.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

std::wstring watchdogPath() { return test::hostPathToWindows(PROCGUARD_EXECUTABLE); }

// A config file that watches `target` and ends after the first restart.
bool writeConfig(const std::wstring& path, const std::wstring& target, const std::wstring& arguments) {
    const std::pair<const wchar_t*, const wchar_t*> main[] = {
        {L"processName", target.c_str()}, {L"commandParams", arguments.c_str()}, {L"checkPeriod", L"200"},
        {L"responseTimeout", L"1000"},    {L"variables", L"0"}};
    for (const auto& [key, value] : main)
        if (!writeProfileString(L"main", key, path, value).ok) return false;
    const std::pair<const wchar_t*, const wchar_t*> finish[] = {
        {L"type", L"2"}, {L"dataInt", L"1"}, {L"dataString", L""}, {L"dataBool", L"false"}};
    for (const auto& [key, value] : finish)
        if (!writeProfileString(L"finishCondition", key, path, value).ok) return false;
    return true;
}

class Win32EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::makeScratchFolder(L"e2e");
        ASSERT_FALSE(folder.empty());
        ASSERT_TRUE(test::fileExists(watchdogPath())) << "procguard.exe is not built";
    }
    void TearDown() override { test::removeFolderTree(folder); }
    std::wstring folder;
};

TEST_F(Win32EndToEnd, AMissingTargetIsStartedWithItsArguments) {
    const std::wstring record = folder + L"\\args.txt";
    // A config name outside the ANSI code page must reach the watchdog whole.
    const std::wstring config = folder + L"\\w\u00e4chter \u4e2d.ini";
    // (Not ending in a quote: a value in a pair of quotes is read without them.)
    ASSERT_TRUE(writeConfig(config, test::testProgramPath(L"argv_recorder"),
                            L"\"" + record + L"\" \"two words\" --run 1"));

    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" \"" + config + L"\"", 30000);

    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("Process not running, restarting...\nProcess restarted (1 runs).\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("All done now. Press any key to exit..."), std::string::npos) << run.output;
    ASSERT_TRUE(test::waitUntil([&] { return test::fileExists(record); }));
    EXPECT_EQ(test::recordedArguments(test::readFileBytes(record)),
              (std::vector<std::string>{"two words", "--run", "1"}));
}

TEST_F(Win32EndToEnd, AHungTargetIsTerminatedAndRestarted) {
    const std::wstring target = test::testProgramPath(L"window_target");
    test::terminateInstancesOf(target);
    test::ChildProcess hung;
    ASSERT_TRUE(test::startTestProgram(L"window_target", L"hung", hung));
    ASSERT_NE(test::waitUntilHung(hung.id, 10000), 0u);
    const std::wstring config = folder + L"\\hung.ini";
    ASSERT_TRUE(writeConfig(config, target, L"hung"));

    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" \"" + config + L"\"", 30000);

    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("Process not responding, terminating...\n"
                              "Process terminated, restarting...\n"
                              "Process restarted (1 runs).\n"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(test::waitForExit(hung.handle, 0)) << "the hung instance still runs";

    // The restart started a fresh instance; it is not the one that hung.
    EXPECT_TRUE(test::waitUntil([&] {
        std::vector<ProcessId> ids;
        enumerateProcessIds(ids);
        for (ProcessId id : ids)
            if (id != hung.id && foldPathCase(getProcessImagePath(id)) == foldPathCase(target)) return true;
        return false;
    }));
    test::terminateInstancesOf(target);
}

TEST_F(Win32EndToEnd, ADialogueSetupRunsAndItsSavedFileRunsTheSame) {
    test::checkDialogueRunAndItsSavedFile(
        folder, test::testProgramPath(L"argv_recorder"), [](const std::string& input, const std::string& config) {
            std::wstring commandLine = L"\"" + watchdogPath() + L"\"";
            if (!config.empty()) commandLine += L" \"" + std::wstring(config.begin(), config.end()) + L"\"";
            const test::CapturedRun run = test::runWithoutConsole(commandLine, 60000, input);
            return test::WatchdogOutcome{run.started && !run.timedOut, static_cast<int>(run.exitCode), run.output};
        });
}

} // namespace
} // namespace procguard
