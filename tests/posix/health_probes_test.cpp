// The health probes on Linux: heartbeat file times, resident memory, health
// URLs against the test HTTP server, and health commands.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
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
    constexpr std::uint64_t kMiB = 1 << 20;
    const pid_t hog = test::spawnDirectly(test::testProgramPath("memory_hog"), {"64"});
    ASSERT_GT(hog, 0);
    HeldProcess held = holdProcess(static_cast<ProcessId>(hog));
    std::uint64_t bytes = 0;
    EXPECT_TRUE(test::waitUntil([&] { return readResidentMemory(held, bytes) && bytes >= 64 * kMiB; }))
        << bytes / kMiB << " MiB";
    // Far below its size, which holds 512 MiB never touched.
    EXPECT_LT(bytes, 256 * kMiB);
    EXPECT_FALSE(readResidentMemory(HeldProcess{held.id, -1}, bytes)) << "known by its id only";
    test::endChild(hog);
    EXPECT_FALSE(readResidentMemory(held, bytes)) << "ended";
    releaseProcess(held);
}

TEST(HealthUrl, TakesHttpAndHttpsUrlsOnly) { test::checkUrlRules(); }

TEST(HealthUrl, JudgesTheAnswerByItsStatus) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    test::checkUrlAnswers(server.port);
}

TEST(HealthUrl, AClosedPortIsRefused) {
    // A port that was free a moment ago.
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
    close(probe);
    const std::wstring url = test::localUrl(std::to_string(ntohs(address.sin_port)), "/");
    const OsResult result = probeHealthUrl(url, 30000);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, url + L": connection refused");
}

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
        const OsResult result = checkHealthCommand(widen(line));
        EXPECT_FALSE(result.ok) << line;
        EXPECT_EQ(result.error, widen(reason));
    }
}

TEST(HealthCommand, IsHealthyWhenItExitsWithZero) {
    const std::wstring program = L"\"" + widen(test::testProgramPath("exit_at_once")) + L"\"";
    EXPECT_TRUE(runHealthCommand(program, 30000).ok);
    EXPECT_EQ(runHealthCommand(program + L" --exit-code 1", 30000).error, L"the command exited with 1");
    EXPECT_EQ(runHealthCommand(L"/bin/sh -c \"kill -9 $$\"", 30000).error,
              L"the command was ended by signal 9 (Killed)");
    EXPECT_EQ(runHealthCommand(program.substr(0, program.size() - 1) + L"-missing\"", 30000).error,
              L"the command could not be started: No such file or directory");
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
        widen("/bin/sh -c \"x=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2); echo \\\"$x\\\" > " + fds + "\""),
        30000).ok);
    EXPECT_EQ(test::readFile(fds), "/dev/null\n/dev/null\n/dev/null\n");
}

} // namespace
} // namespace procguard
