// The health probes on Windows: heartbeat file times, the working set,
// health URLs against the test HTTP server, and health commands.
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
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const HANDLE file = CreateFileW(old.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);

    const auto freshTime = fileModificationTime(fresh);
    ASSERT_TRUE(freshTime.has_value());
    EXPECT_GE(*freshTime, before - seconds(2));      // FAT keeps two-second steps
    EXPECT_LE(*freshTime, after + milliseconds(20)); // the system clock's tick
    EXPECT_EQ(fileModificationTime(old), system_clock::time_point(seconds(1577934245) + milliseconds(250)));
    EXPECT_FALSE(fileModificationTime(folder + L"\\missing").has_value());
}

TEST_F(HealthProbes, ResidentMemoryIsTheWorkingSetOfAHeldProcess) {
    test::ChildProcess hog;
    ASSERT_TRUE(test::startTestProgram(L"memory_hog", L"64", hog));
    const HeldProcess held = holdProcess(hog.id);
    test::checkResidentMemory(held, [&] { terminateProcess(held, 5000); });
}

TEST_F(HealthProbes, UrlsAreHttpOrHttpsOnly) { test::checkUrlRules(); }

TEST_F(HealthProbes, AUrlIsJudgedByItsAnswersStatus) {
    test::HttpServer server;
    ASSERT_FALSE(server.port.empty());
    test::checkUrlAnswers(server.port);
}

TEST_F(HealthProbes, AUrlOnAClosedPortCannotConnect) { test::checkClosedPort(L": cannot connect"); }

TEST_F(HealthProbes, ACommandsProgramMustBeAFile) {
    EXPECT_TRUE(checkHealthCommand(L"\"" + test::testProgramPath(L"exit_at_once") + L"\" --exit-code 1").ok);
    const std::wstring missing = folder + L"\\missing.exe";
    EXPECT_EQ(checkHealthCommand(missing + L" --flag").error.rfind(missing + L": ", 0), 0u);
    EXPECT_EQ(checkHealthCommand(L"\"" + folder + L"\"").error, folder + L" is a folder, not a program.");
    EXPECT_EQ(checkHealthCommand(L" \t").error, L"the command names no program");
}

TEST_F(HealthProbes, ACommandIsHealthyWhenItExitsWithZero) {
    test::checkCommandExitCodes(L"\"" + test::testProgramPath(L"exit_at_once") + L"\"");
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
