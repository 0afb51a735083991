// The health probes on Linux: heartbeat file times, resident memory, health
// URLs against the test HTTP server, and health commands.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "argv_record.h"
#include "health_probe_run.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

using namespace std::chrono;
using test::widen;

TEST(HealthFileTime, ReadsTheTimeAFileWasLastModified) {
    test::TempFolder folder;
    const std::string fresh = folder.path + "/fresh", old = folder.path + "/old";
    const auto before = system_clock::now();
    test::writeBytes(fresh, "beat");
    const auto after = system_clock::now();
    test::writeBytes(old, "beat");
    // 2020-01-02T03:04:05.25Z, with a fraction of a second, set rather than slept for.
    const timespec times[2] = {{1577934245, 250000000}, {1577934245, 250000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, old.c_str(), times, 0), 0);

    const auto freshTime = fileModificationTime(widen(fresh));
    ASSERT_TRUE(freshTime.has_value());
    // The file system may round down to its clock tick.
    EXPECT_GE(*freshTime, before - seconds(1));
    EXPECT_LE(*freshTime, after);
    EXPECT_EQ(fileModificationTime(widen(old)), system_clock::time_point(seconds(1577934245) + milliseconds(250)));
    EXPECT_FALSE(fileModificationTime(widen(folder.path + "/missing")).has_value());
}

TEST(HealthMemory, ReadsTheResidentMemoryOfAHeldProcess) {
    const pid_t hog = test::spawnDirectly(test::testProgramPath("memory_hog"), {"64"});
    ASSERT_GT(hog, 0);
    test::checkResidentMemory(holdProcess(static_cast<ProcessId>(hog)), [&] { test::endChild(hog); });
}

TEST(HealthUrl, TakesHttpAndHttpsUrlsOnly) { test::checkUrlRules(); }

TEST(HealthUrl, JudgesTheAnswerByItsStatus) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    test::checkUrlAnswers(server.port);
}

TEST(HealthUrl, AClosedPortIsRefused) { test::checkClosedPort(L": connection refused"); }

TEST(HealthCommand, ChecksThatItsProgramCanBeRun) {
    test::TempFolder folder;
    const std::string plain = folder.path + "/plain";
    test::writeBytes(plain, "#!/bin/sh\n");
    chmod(plain.c_str(), 0644); // no execute bit: refused to root as well
    EXPECT_TRUE(checkHealthCommand(L"\"" + widen(test::testProgramPath("exit_at_once")) + L"\" --exit-code 1").ok);
    const std::pair<std::string, std::string> refused[] = {
        {folder.path + "/missing --flag", folder.path + "/missing: No such file or directory"},
        {folder.path, folder.path + " is a folder, not a program."},
        {plain, plain + ": Permission denied"},
        {"/dev/null", "/dev/null: Not a regular file"},
        {"  ", "the command names no program"}};
    for (const auto& [line, reason] : refused) {
        const Result result = checkHealthCommand(widen(line));
        EXPECT_FALSE(result.ok) << line;
        EXPECT_EQ(result.error, widen(reason));
    }
}

TEST(HealthCommand, IsHealthyWhenItExitsWithZero) {
    test::checkCommandExitCodes(L"\"" + widen(test::testProgramPath("exit_at_once")) + L"\"");
    EXPECT_EQ(runHealthCommand(L"/bin/sh -c \"kill -9 $$\"", 30000).error,
              L"the command was ended by signal 9 (Killed)");
    EXPECT_EQ(test::zombieChildrenOf(getpid()), 0);
}

TEST(HealthCommand, SplitsItsLineAndGetsNothingButTheNullDevice) {
    test::TempFolder folder;
    const std::string spaced = folder.path + "/with space";
    ASSERT_EQ(mkdir(spaced.c_str(), 0755), 0);
    const std::string recorder = test::copyTestProgram("argv_recorder", spaced);
    const std::string record = folder.path + "/args", fds = folder.path + "/fds";
    ASSERT_TRUE(runHealthCommand(widen("\"" + recorder + "\" " + record + " \"two words\" a\\\"b"), 30000).ok);
    EXPECT_EQ(test::recordedArguments(test::readFile(record)), (std::vector<std::string>{"two words", "a\"b"}));

    // The shell's own descriptors, read before it redirects anything.
    ASSERT_TRUE(runHealthCommand(
                    widen("/bin/sh -c \"x=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); echo \\\"$x\\\" > " +
                          fds + "\""),
                    30000)
                    .ok);
    EXPECT_EQ(test::readFile(fds), "/dev/null\n/dev/null\n/dev/null\n");
}

} // namespace
} // namespace procguard
