// The whole watchdog, run as a user runs it with a config file: it starts a
// missing target with its arguments, and terminates and restarts a hung one.
#include <gtest/gtest.h>

#include "argv_record.h"
#include "config/profile.h"
#include "event_line.h"
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

std::string narrowText(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

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
    const std::wstring target = test::testProgramPath(L"arg_recorder");
    const std::wstring record = folder + L"\\args.txt";
    // A config name outside the ANSI code page must reach the watchdog whole.
    const std::wstring config = folder + L"\\w\u00e4chter \u4e2d.ini";
    ASSERT_TRUE(writeConfig(config, target, L"--run 1 \"two words\""));

    SetEnvironmentVariableW(L"PROCGUARD_ARGS_FILE", record.c_str());
    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" \"" + config + L"\"", 30000);
    SetEnvironmentVariableW(L"PROCGUARD_ARGS_FILE", nullptr);

    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("Process not running, restarting...\nProcess restarted (1 runs).\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("All done now. Press any key to exit..."), std::string::npos) << run.output;

    for (int waited = 0; waited < 200 && !test::fileExists(record); ++waited) Sleep(25);
    const std::wstring recorded = test::wideFromUtf16Bytes(test::readFileBytes(record));
    EXPECT_NE(recorded.find(L"\n--run\n1\ntwo words\n"), std::wstring::npos)
        << std::string(recorded.begin(), recorded.end());
}

TEST_F(Win32EndToEnd, AHungTargetIsTerminatedAndRestarted) {
    const std::wstring target = test::testProgramPath(L"hung_window");
    test::terminateInstancesOf(target);
    test::ChildProcess hung;
    ASSERT_TRUE(test::startTestProgram(L"hung_window", L"", hung));
    ASSERT_NE(test::waitUntilHung(hung.id, 10000), 0u);
    const std::wstring config = folder + L"\\hung.ini";
    ASSERT_TRUE(writeConfig(config, target, L""));
    const std::wstring log = folder + L"\\events.jsonl";

    const test::CapturedRun run = test::runWithoutConsole(
        L"\"" + watchdogPath() + L"\" --events \"" + log + L"\" \"" + config + L"\"", 30000);

    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("Process not responding, terminating...\n"
                              "Process terminated, restarting...\n"
                              "Process restarted (1 runs).\n"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(test::waitForExit(hung.handle, 0)) << "the hung instance still runs";
    const std::string events = test::readFileBytes(log), pid = std::to_string(hung.id);
    EXPECT_EQ(test::membersOf(events, "event"), (std::vector<std::string>{"surveillance started", "not responding",
                                                                          "terminated", "restarted", "finished"}));
    EXPECT_EQ(test::membersOf(events, "pid"), (std::vector<std::string>{"", pid, pid, "", ""}));

    // The restart started a fresh instance; it is not the one that hung.
    ProcessId restarted = 0;
    for (int waited = 0; waited < 200 && restarted == 0; ++waited) {
        std::vector<ProcessId> ids;
        enumerateProcessIds(ids);
        for (ProcessId id : ids)
            if (id != hung.id && foldPathCase(getProcessImagePath(id)) == foldPathCase(target)) restarted = id;
        if (restarted == 0) Sleep(25);
    }
    EXPECT_NE(restarted, 0u);
    test::terminateInstancesOf(target);
}

TEST_F(Win32EndToEnd, AFolderTargetIsNeverOpened) {
    const std::wstring target = folder + L"\\not a program";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    const std::wstring config = folder + L"\\folder.ini";
    ASSERT_TRUE(writeConfig(config, target, L""));

    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" \"" + config + L"\"", 30000);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("Failed to restart process (1 runs): " + narrowText(target) +
                              " is a folder, not a program.\n"),
              std::string::npos)
        << run.output;
}

std::string narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// A run set up through the dialogue: variables in the arguments, a finish
// condition on one of them, the setup saved; then the saved file again.
TEST_F(Win32EndToEnd, ADialogueSetupRunsAndItsSavedFileRunsTheSame) {
    const std::wstring records = folder + L"\\records";
    const std::wstring counted = folder + L"\\counted";
    ASSERT_TRUE(CreateDirectoryW(records.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(counted.c_str(), nullptr));
    for (const wchar_t* name : {L"a.png", L"b.png", L"c.txt"})
        ASSERT_TRUE(test::writeFileBytes(counted + L"\\" + name, "x"));
    const std::wstring saved = folder + L"\\saved.ini";

    const std::string typed = "1\n" + narrow(test::testProgramPath(L"argv_recorder")) + "\n" + narrow(records) +
                              "\\args<A>.txt -n <A> -m <A> -f <F>\n"
                              "y 0 10\n"
                              "y 1\n" +
                              narrow(counted) +
                              "\\*\n"
                              "0\n"
                              "50\n1000\n"
                              "3\n<A>\n12\n>\n"
                              "y\n" +
                              narrow(saved) + "\n";
    const test::CapturedRun dialogue = test::runWithoutConsole(L"\"" + watchdogPath() + L"\"", 60000, typed);
    ASSERT_TRUE(dialogue.started);
    EXPECT_FALSE(dialogue.timedOut) << dialogue.output;
    EXPECT_EQ(dialogue.exitCode, 0u) << dialogue.output;
    EXPECT_NE(dialogue.output.find("Adjusting variable values:\n<A> : 11\n<F> : 5\nProcess restarted (1 runs).\n"),
              std::string::npos)
        << dialogue.output;
    EXPECT_NE(dialogue.output.find("<A> : 13\n<F> : 5\nProcess restarted (3 runs).\n"
                                   "All done now. Press any key to exit..."),
              std::string::npos)
        << dialogue.output;
    for (int waited = 0; waited < 200 && !test::fileExists(records + L"\\args13.txt"); ++waited) Sleep(25);
    // "*" lists the three files and the folder's "." and "..".
    EXPECT_EQ(test::recordedArguments(test::readFileBytes(records + L"\\args11.txt")),
              (std::vector<std::string>{"-n", "11", "-m", "11", "-f", "5"}));
    EXPECT_EQ(test::recordedArguments(test::readFileBytes(records + L"\\args13.txt")),
              (std::vector<std::string>{"-n", "13", "-m", "13", "-f", "5"}));

    const test::CapturedRun again =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" \"" + saved + L"\"", 60000);
    EXPECT_FALSE(again.timedOut) << again.output;
    EXPECT_EQ(again.exitCode, 0u) << again.output;
    EXPECT_EQ(again.output.substr(0, 12), "Ready to go.") << again.output;
    EXPECT_EQ(test::fromReadyToGo(again.output), test::fromReadyToGo(dialogue.output));
}

TEST_F(Win32EndToEnd, HelpAndVersionAnswerWithoutWatching) {
    const auto run = [](const std::wstring& options) {
        return test::runWithoutConsole(L"\"" + watchdogPath() + L"\" " + options, 30000);
    };
    const test::CapturedRun help = run(L"/?");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(help.output.find("Usage: procguard [--events FILE] [config-file]\n"), 0u) << help.output;
    EXPECT_NE(help.output.find("  -h, --help, /?   show this help and exit\n"), std::string::npos);
    EXPECT_EQ(run(L"--version").output, "procguard " PROCGUARD_VERSION "\n");
    EXPECT_EQ(run(L"-x").exitCode, 3u);
}

} // namespace
} // namespace procguard
