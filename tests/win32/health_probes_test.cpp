// The health probes on Windows: heartbeat file times, the working set,
// health URLs against the test HTTP server, and health commands.
#include <winsock2.h>

#include <gtest/gtest.h>

#include "argv_record.h"
#include "health_probe_run.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

using namespace std::chrono;

class HealthProbes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(folder.empty()); }
    void TearDown() override { test::removeFolderTree(folder); }
    std::wstring folder = test::makeScratchFolder(L"health");
};

TEST_F(HealthProbes, FileTimeIsTheTimeAFileWasLastWritten) {
    const std::wstring fresh = folder + L"\\fresh", old = folder + L"\\old";
    const auto before = system_clock::now();
    ASSERT_TRUE(test::writeFileBytes(fresh, "beat"));
    const auto after = system_clock::now();
    ASSERT_TRUE(test::writeFileBytes(old, "beat"));
    // 2020-01-02T03:04:05.25Z in 100 ns ticks from 1601, set rather than slept for.
    const ULONGLONG ticks = (1577934245ULL + 11644473600ULL) * 10000000ULL + 2500000ULL;
    const FILETIME time {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const HANDLE file = CreateFileW(old.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);

    const auto freshTime = fileModificationTime(fresh);
    ASSERT_TRUE(freshTime.has_value());
    EXPECT_GE(*freshTime, before - seconds(2)); // FAT keeps two-second steps
    EXPECT_LE(*freshTime, after + milliseconds(20)); // the system clock's tick
    EXPECT_EQ(fileModificationTime(old), system_clock::time_point(seconds(1577934245) + milliseconds(250)));
    EXPECT_FALSE(fileModificationTime(folder + L"\\missing").has_value());
}

TEST_F(HealthProbes, ResidentMemoryIsTheWorkingSetOfAHeldProcess) {
    constexpr std::uint64_t kMiB = 1 << 20;
    test::ChildProcess hog;
    ASSERT_TRUE(test::startTestProgram(L"memory_hog", L"64", hog));
    HeldProcess held = holdProcess(hog.id);
    std::uint64_t bytes = 0;
    EXPECT_TRUE(test::waitUntil([&] { return readResidentMemory(held, bytes) && bytes >= 64 * kMiB; }))
        << bytes / kMiB << " MiB";
    // Far below what it committed, which holds 512 MiB never touched.
    EXPECT_LT(bytes, 256 * kMiB);
    EXPECT_FALSE(readResidentMemory(HeldProcess{held.id, -1}, bytes)) << "known by its id only";
    ASSERT_TRUE(terminateProcess(held, 5000));
    EXPECT_FALSE(readResidentMemory(held, bytes)) << "ended";
    releaseProcess(held);
}

TEST_F(HealthProbes, UrlsAreHttpOrHttpsOnly) { test::checkUrlRules(); }

TEST_F(HealthProbes, AUrlIsJudgedByItsAnswersStatus) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    test::checkUrlAnswers(server.port);
}

TEST_F(HealthProbes, AUrlOnAClosedPortCannotConnect) {
    // A port that was free a moment ago.
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
    closesocket(probe);
    const std::wstring url = test::localUrl(std::to_string(ntohs(address.sin_port)), "/");
    EXPECT_EQ(probeHealthUrl(url, 30000).error, url + L": cannot connect");
}

TEST_F(HealthProbes, ACommandsProgramMustBeAFile) {
    EXPECT_TRUE(checkHealthCommand(L"\"" + test::testProgramPath(L"exit_at_once") + L"\" --exit-code 1").ok);
    const std::wstring missing = folder + L"\\missing.exe";
    EXPECT_EQ(checkHealthCommand(missing + L" --flag").error.rfind(missing + L": ", 0), 0u);
    EXPECT_EQ(checkHealthCommand(L"\"" + folder + L"\"").error, folder + L" is a folder, not a program.");
    EXPECT_EQ(checkHealthCommand(L" \t").error, L"the command names no program");
}

TEST_F(HealthProbes, ACommandIsHealthyWhenItExitsWithZero) {
    const std::wstring program = L"\"" + test::testProgramPath(L"exit_at_once") + L"\"";
    EXPECT_TRUE(runHealthCommand(program, 30000).ok);
    EXPECT_EQ(runHealthCommand(program + L" --exit-code 1", 30000).error, L"the command exited with 1");
    EXPECT_EQ(runHealthCommand(L"\"" + folder + L"\\missing.exe\"", 30000).error.rfind(
                  L"the command could not be started: ", 0),
              0u);
}

TEST_F(HealthProbes, ACommandGetsItsLineAsItStands) {
    const std::wstring spaced = folder + L"\\with space";
    ASSERT_TRUE(CreateDirectoryW(spaced.c_str(), nullptr));
    const std::wstring recorder = spaced + L"\\recorder.exe", record = folder + L"\\args";
    ASSERT_TRUE(CopyFileW(test::testProgramPath(L"argv_recorder").c_str(), recorder.c_str(), FALSE));
    const std::wstring rest = L"  \"" + record + L"\" \"two words\" a\\\"b";
    ASSERT_TRUE(runHealthCommand(L"\"" + recorder + L"\"" + rest, 30000).ok);
    const std::vector<std::string> words = test::recordedWords(test::readFileBytes(record));
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words[0], encodeUtf8(L"\"" + recorder + L"\"" + rest));
    EXPECT_EQ(test::recordedArguments(test::readFileBytes(record)), (std::vector<std::string>{"two words", "a\"b"}));
}

} // namespace
} // namespace procguard
