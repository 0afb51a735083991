// Profile files on the real system: round trips, encodings, failures, and
// config names resolved against the current directory.
#include <gtest/gtest.h>

#include "config/config_file.h"
#include "config/profile.h"
#include "render_job.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

std::wstring currentDirectory() {
    std::wstring buffer(32768, L'\0');
    buffer.resize(GetCurrentDirectoryW(32768, buffer.data()));
    return buffer;
}

class Win32Profile : public ::testing::Test {
protected:
    void SetUp() override {
        folder = test::makeScratchFolder(L"profile");
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override { test::removeFolderTree(folder); }
    std::wstring folder;
};

TEST_F(Win32Profile, TextOutsideTheAnsiCodePageSurvivesInANewFile) {
    const std::wstring path = folder + L"\\run.ini";
    const std::wstring text = L"Z:\\d\u00e9p\u00f4t\\\u4e2d\u6587 \u20ac \u2713 \u0416";
    ASSERT_TRUE(writeProfileString(L"main", L"processName", path, text).ok);
    ASSERT_TRUE(writeProfileString(L"main", L"checkPeriod", path, L"200").ok);
    ASSERT_TRUE(writeProfileString(L"variable0", L"name", path, L"<\u00c4rger>").ok);

    EXPECT_EQ(readProfileString(L"main", L"processName", path, L"?"), text);
    EXPECT_EQ(readProfileString(L"main", L"checkPeriod", path, L"?"), L"200");
    EXPECT_EQ(readProfileString(L"variable0", L"name", path, L"?"), L"<\u00c4rger>");
    const std::string bytes = test::readFileBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");

    // A second write of the key replaces it and keeps the others.
    ASSERT_TRUE(writeProfileString(L"main", L"processName", path, L"C:\\other.exe").ok);
    EXPECT_EQ(readProfileString(L"main", L"processName", path, L"?"), L"C:\\other.exe");
    EXPECT_EQ(readProfileString(L"main", L"checkPeriod", path, L"?"), L"200");
}

TEST_F(Win32Profile, AnExistingFileKeepsItsEncoding) {
    const std::wstring path = folder + L"\\ansi.ini";
    ASSERT_TRUE(test::writeFileBytes(path, "[main]\r\nprocessName=C:\\a.exe\r\n"));
    ASSERT_TRUE(writeProfileString(L"main", L"commandParams", path, L"-x 1").ok);
    const std::string bytes = test::readFileBytes(path);
    EXPECT_EQ(bytes.find('\0'), std::string::npos) << "rewritten as UTF-16";
    EXPECT_EQ(readProfileString(L"main", L"processName", path, L"?"), L"C:\\a.exe");
    EXPECT_EQ(readProfileString(L"main", L"commandParams", path, L"?"), L"-x 1");
}

// The files the Linux profile test shares: what this build saves, and what Linux saved into it.
TEST_F(Win32Profile, FilesSavedOnEitherSystemLoadOnTheOther) {
    const std::string data = std::string(PROCGUARD_SOURCE_DIR) + "/tests/data/";
    const std::wstring saved = folder + L"\\saved.ini";
    ASSERT_TRUE(saveConfig(saved, test::unicodeRenderJob()).ok);
    EXPECT_EQ(test::readFileBytes(saved), test::readFileBytes(test::hostPathToWindows(data + "windows_saved.ini")));
    WatchSettings loaded;
    EXPECT_EQ(loadConfig(test::hostPathToWindows(data + "linux_resaved.ini"), loaded).status, LoadStatus::Loaded);
    test::expectLoadedAsSaved(loaded, test::resavedRenderJob());
}

TEST_F(Win32Profile, MissingKeysAndEmptyValuesGiveTheDefault) {
    const std::wstring path = folder + L"\\run.ini";
    EXPECT_EQ(readProfileString(L"main", L"processName", path, L"dflt"), L"dflt") << "missing file";
    ASSERT_TRUE(writeProfileString(L"main", L"dataString", path, L"").ok);
    EXPECT_EQ(readProfileString(L"main", L"dataString", path, L"false"), L"false") << "empty value";
    EXPECT_EQ(readProfileString(L"main", L"other", path, L"dflt"), L"dflt") << "missing key";
    EXPECT_EQ(readProfileString(L"none", L"dataString", path, L""), L"") << "missing section";
    EXPECT_NE(test::readFileBytes(path).find("d\0a\0t\0a\0S\0t\0r\0i\0n\0g\0=\0", 0, 22), std::string::npos)
        << "an empty text still writes the key";
}

TEST_F(Win32Profile, AValueIsReadAsItsFirst2047Characters) {
    const std::wstring path = folder + L"\\long.ini";
    std::wstring text;
    for (int i = 0; i < 3000; ++i) text += static_cast<wchar_t>(L'a' + i % 26);
    ASSERT_TRUE(writeProfileString(L"main", L"commandParams", path, text).ok);
    EXPECT_EQ(readProfileString(L"main", L"commandParams", path, L""), text.substr(0, 2047));
}

TEST_F(Win32Profile, WritesIntoAMissingFolderOrOntoAFolderFailWithTheReason) {
    const std::wstring missing = folder + L"\\no\\such\\run.ini";
    const Result intoMissing = writeProfileString(L"main", L"checkPeriod", missing, L"1");
    EXPECT_FALSE(intoMissing.ok);
    EXPECT_FALSE(intoMissing.error.empty());
    EXPECT_FALSE(test::fileExists(missing));

    const std::wstring subfolder = folder + L"\\sub";
    ASSERT_TRUE(CreateDirectoryW(subfolder.c_str(), nullptr));
    const Result ontoFolder = writeProfileString(L"main", L"checkPeriod", subfolder, L"1");
    EXPECT_FALSE(ontoFolder.ok);
    EXPECT_FALSE(ontoFolder.error.empty());
    EXPECT_NE(ontoFolder.error.back(), L'\n');
}

TEST_F(Win32Profile, CheckReadableFileTellsWhatIsWrong) {
    const std::wstring path = folder + L"\\run.ini";
    ASSERT_TRUE(test::writeFileBytes(path, "[main]\r\n"));
    EXPECT_TRUE(checkReadableFile(path).ok);
    EXPECT_TRUE(hasProfileSection(L"MAIN", path));
    EXPECT_FALSE(hasProfileSection(L"finishCondition", path));
    const Result missing = checkReadableFile(folder + L"\\missing.ini");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, L"file not found");
    EXPECT_EQ(checkReadableFile(folder + L"\\no\\such.ini").error, L"file not found");
    const Result isFolder = checkReadableFile(folder);
    EXPECT_FALSE(isFolder.ok);
    EXPECT_EQ(isFolder.error, L"is a folder");
}

TEST_F(Win32Profile, ConfigNamesResolveBehindTheCurrentDirectory) {
    const std::wstring previous = currentDirectory();
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    const std::wstring here = currentDirectory();
    EXPECT_EQ(currentDirectoryPrefix(), here + L"\\");
    EXPECT_EQ(resolveConfigPath(L"run.ini"), here + L"\\run.ini");
    EXPECT_EQ(resolveConfigPath(L"cfg\\run.ini"), here + L"\\cfg\\run.ini");
    EXPECT_EQ(resolveConfigPath(L""), here + L"\\");
    EXPECT_EQ(resolveConfigPath(L"\\x.ini"), here + L"\\\\x.ini");
    EXPECT_EQ(resolveConfigPath(L"D:run.ini"), L"D:run.ini");
    EXPECT_EQ(resolveConfigPath(L"D:"), L"D:");

    // A relative name reads and writes the file in the current directory.
    const bool wrote = writeProfileString(L"main", L"checkPeriod", L"rel.ini", L"250").ok;
    const std::wstring readBack = readProfileString(L"main", L"checkPeriod", L"rel.ini", L"");
    SetCurrentDirectoryW(previous.c_str());
    EXPECT_TRUE(wrote);
    EXPECT_EQ(readBack, L"250");
    EXPECT_TRUE(test::fileExists(folder + L"\\rel.ini"));
}

TEST_F(Win32Profile, ACurrentDirectoryBeyond1023CharactersIsStillUsed) {
    std::wstring deep = folder;
    while (deep.size() <= 1100) {
        deep += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
    }
    // In a process of its own (see the probe for why).
    const test::CapturedRun run =
        test::runWithoutConsole(L"\"" + test::testProgramPath(L"long_cwd_probe") + L"\" \"" + deep + L"\"", 20000);
    ASSERT_TRUE(run.started);
    ASSERT_FALSE(run.timedOut);
    if (run.output == "refused\n") GTEST_SKIP() << "the system refuses a current directory this long";
    EXPECT_EQ(run.output, "ok\n");
}

} // namespace
} // namespace procguard
