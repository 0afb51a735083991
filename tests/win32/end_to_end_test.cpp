// The whole watchdog, run as a user runs it with a config file: it starts a
// missing target with its arguments, and terminates and restarts a hung one.
#include <gtest/gtest.h>

#include <thread>

#include "base/utf8.h"
#include "config/profile.h"
#include "dialogue_run.h"
#include "event_line.h"
#include "procguard_version.h"
#include "target/process_lookup.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

std::wstring watchdogPath() { return test::hostPathToWindows(PROCGUARD_EXECUTABLE); }

// A config file that watches `target` and ends after the first restart.
bool writeConfig(const std::wstring& path, const std::wstring& target, const std::wstring& arguments) {
    const std::pair<const wchar_t*, const wchar_t*> main[] = {{L"processName", target.c_str()},
                                                              {L"commandParams", arguments.c_str()},
                                                              {L"checkPeriod", L"200"},
                                                              {L"responseTimeout", L"1000"},
                                                              {L"variables", L"0"}};
    for (const auto& [key, value] : main)
        if (!writeProfileString(L"main", key, path, value).ok) return false;
    const std::pair<const wchar_t*, const wchar_t*> finish[] = {
        {L"type", L"2"}, {L"dataInt", L"1"}, {L"dataString", L""}, {L"dataBool", L"false"}};
    for (const auto& [key, value] : finish)
        if (!writeProfileString(L"finishCondition", key, path, value).ok) return false;
    return true;
}

std::string narrowText(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// Keys of the optional sections, written into a config writeConfig made.
bool addKeys(const std::wstring& path, const wchar_t* section,
             std::initializer_list<std::pair<const wchar_t*, std::wstring>> keys) {
    for (const auto& [key, value] : keys)
        if (!writeProfileString(section, key, path, value).ok) return false;
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
    ASSERT_TRUE(
        writeConfig(config, test::testProgramPath(L"argv_recorder"), L"\"" + record + L"\" \"two words\" --run 1"));

    const test::CapturedRun run = test::runWithoutConsole(L"\"" + watchdogPath() + L"\" \"" + config + L"\"", 30000);

    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("Process not running, restarting...\nProcess restarted (1 runs).\n"), std::string::npos)
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
    const std::wstring log = folder + L"\\events.jsonl";

    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" --events \"" + log + L"\" \"" + config + L"\"", 30000);

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
    const std::vector<std::string> pids = test::membersOf(events, "pid");
    ASSERT_EQ(pids.size(), 5u);
    EXPECT_EQ(pids[1], pid);
    EXPECT_EQ(pids[2], pid);
    EXPECT_NE(pids[3], "") << "the process the restart started";
    EXPECT_NE(pids[3], pid);

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

TEST_F(Win32EndToEnd, AFolderTargetIsNeverOpened) {
    const std::wstring target = folder + L"\\not a program";
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr));
    const std::wstring config = folder + L"\\folder.ini";
    ASSERT_TRUE(writeConfig(config, target, L""));

    const test::CapturedRun run = test::runWithoutConsole(L"\"" + watchdogPath() + L"\" \"" + config + L"\"", 30000);
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_NE(run.output.find("Failed to restart process (1 runs): " + narrowText(target) +
                              ": It is a folder, not a program.\n"),
              std::string::npos)
        << run.output;
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

TEST_F(Win32EndToEnd, HelpAndVersionAnswerWithoutWatching) {
    const auto run = [](const std::wstring& options) {
        return test::runWithoutConsole(L"\"" + watchdogPath() + L"\" " + options, 30000);
    };
    const test::CapturedRun help = run(L"/?");
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(help.output.find("Usage: procguard [--events FILE] [--no-wait] [config-file]\n"), 0u) << help.output;
    EXPECT_NE(help.output.find("  -h, --help, /?   show this help and exit\n"), std::string::npos);
    EXPECT_EQ(run(L"--version").output, "procguard " PROCGUARD_VERSION "\n");
    EXPECT_EQ(run(L"-x").exitCode, 3u);
}

// The end of the session reaches procguard as a message to its hidden window
// (a program with windows hears nothing else of logoff and shutdown): the
// sleep ends at once, the run ends cleanly, and the target keeps running.
TEST_F(Win32EndToEnd, TheEndOfTheSessionStopsTheRunCleanly) {
    const std::wstring target = test::testProgramPath(L"idle_sleeper");
    const std::wstring config = folder + L"\\session.ini", log = folder + L"\\events.jsonl";
    ASSERT_TRUE(writeConfig(config, target, L""));
    ASSERT_TRUE(writeProfileString(L"main", L"checkPeriod", config, L"600000").ok);
    std::thread endSession([&] {
        HWND window = nullptr;
        if (test::waitUntil([&] {
                return test::membersOf(test::readFileBytes(log), "event").size() == 1 &&
                       (window = FindWindowW(L"procguard_session", nullptr)) != nullptr;
            }))
            PostMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    });
    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" --events \"" + log + L"\" \"" + config + L"\"", 60000);
    endSession.join();
    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(run.exitCode, 4u) << run.output;
    EXPECT_TRUE(run.output.ends_with("\nStopped.\n")) << run.output;
    EXPECT_EQ(test::membersOf(test::readFileBytes(log), "event"),
              (std::vector<std::string>{"surveillance started", "stopped"}));
}

// The target is a batch file, which runs as cmd.exe and starts the program
// whose window hangs: the window of its child is probed, that child is
// dumped, and the whole job ends before the restart.
TEST_F(Win32EndToEnd, ABatchFileWhoseChildHangsIsDumpedAndEndedWhole) {
    const std::wstring program = test::testProgramPath(L"window_target");
    test::terminateInstancesOf(program);
    const std::wstring batch = folder + L"\\hung.cmd";
    // start /wait: cmd waits for a program with a window only when told to.
    ASSERT_TRUE(test::writeFileBytes(batch, "@start \"\" /wait \"" + encodeUtf8(program) + "\" hung\r\n"));
    const std::wstring config = folder + L"\\batch.ini", log = folder + L"\\events.jsonl";
    ASSERT_TRUE(writeConfig(config, batch, L""));
    ASSERT_TRUE(addKeys(config, L"main", {{L"responseTimeout", L"2000"}, {L"checkPeriod", L"1000"}}));
    ASSERT_TRUE(addKeys(config, L"finishCondition", {{L"dataInt", L"2"}}));
    ASSERT_TRUE(addKeys(config, L"restart", {{L"dumpFolder", folder + L"\\dumps"}}));

    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" --events \"" + log + L"\" \"" + config + L"\"", 120000);

    EXPECT_FALSE(run.timedOut) << run.output;
    const std::vector<std::string> events = test::membersOf(test::readFileBytes(log), "event");
    EXPECT_TRUE(test::inOrder(run.output, {"Process restarted (1 runs).\n", "Process not responding, terminating...\n",
                                           "Process dumped to ", "Process terminated, restarting...\n",
                                           "Process restarted (2 runs).\n"}))
        << run.output;
    ASSERT_EQ(events.size(), 8u) << run.output;
    EXPECT_EQ(events[4], "dumped");
    const std::string file = test::membersOf(test::readFileBytes(log), "file")[4];
    EXPECT_NE(file.find("window_target_"), std::string::npos) << "named after the program whose window hung";
    std::wstring dumpPath;
    for (std::size_t at = 0; at < file.size(); ++at)
        dumpPath += static_cast<wchar_t>(file[at] == '\\' ? file[++at] : file[at]);
    EXPECT_EQ(test::readFileBytes(dumpPath).substr(0, 4), "MDMP");
    // The hung instance ended with its batch file; the restart's runs alone.
    EXPECT_TRUE(test::waitUntil([&] { return test::runningInstancesOf(program) == 1; })) << run.output;
    test::terminateInstancesOf(program);
}

// A target without a window whose health URL answers 503 is ended and
// started again, told with its probe's reason.
TEST_F(Win32EndToEnd, ATargetWhoseHealthUrlFailsIsRestarted) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    const std::wstring sleeper = test::testProgramPath(L"idle_sleeper");
    const std::wstring config = folder + L"\\health.ini", log = folder + L"\\events.jsonl";
    ASSERT_TRUE(writeConfig(config, sleeper, L"30"));
    ASSERT_TRUE(addKeys(config, L"finishCondition", {{L"dataInt", L"2"}}));
    ASSERT_TRUE(addKeys(config, L"health", {{L"healthUrl", server.url("/fail")}, {L"failedChecks", L"2"}}));

    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + watchdogPath() + L"\" --events \"" + log + L"\" \"" + config + L"\"", 60000);

    EXPECT_FALSE(run.timedOut) << run.output;
    EXPECT_EQ(test::membersOf(test::readFileBytes(log), "event"),
              (std::vector<std::string>{"surveillance started", "not running", "restarted", "unhealthy", "unhealthy",
                                        "terminated", "restarted", "finished"}))
        << run.output;
    EXPECT_NE(run.output.find("Process unhealthy: " + narrowText(server.url("/fail")) +
                              " answered 503 (2 of 2 failed checks).\n"),
              std::string::npos)
        << run.output;
    test::terminateInstancesOf(sleeper);
}

} // namespace
} // namespace procguard
