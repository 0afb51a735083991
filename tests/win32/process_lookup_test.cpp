// Finding the target among the real running processes by its image path.
#include <gtest/gtest.h>

#include <cwctype>

#include "app/surveillance.h"
#include "target/process_lookup.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

std::wstring upper(std::wstring text) {
    for (wchar_t& unit : text) unit = static_cast<wchar_t>(std::towupper(unit));
    return text;
}

TEST(Win32ProcessLookup, TargetIsFoundByItsPathInAnotherLetterCase) {
    test::ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"idle_sleeper", L"", child));
    const std::wstring path = test::testProgramPath(L"idle_sleeper");
    EXPECT_EQ(findProcessByPath(path), child.id);
    EXPECT_EQ(findProcessByPath(upper(path)), child.id);

    std::vector<std::wstring> running;
    ASSERT_TRUE(listRunningProcesses(running));
    bool listed = false;
    for (const std::wstring& image : running) listed |= foldPathCase(image) == foldPathCase(path);
    EXPECT_TRUE(listed);
}

// The current directory for the life of the object.
struct CurrentDirectory {
    std::wstring saved = std::wstring(GetCurrentDirectoryW(0, nullptr), L'\0');
    explicit CurrentDirectory(const std::wstring& folder) {
        saved.resize(GetCurrentDirectoryW(static_cast<DWORD>(saved.size()), saved.data()));
        SetCurrentDirectoryW(folder.c_str());
    }
    ~CurrentDirectory() { SetCurrentDirectoryW(saved.c_str()); }
};

std::wstring folderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

TEST(Win32ProcessLookup, OtherSpellingsOfTheFileAreTheTarget) {
    test::ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"idle_sleeper", L"", child));
    const std::wstring path = test::testProgramPath(L"idle_sleeper");
    std::wstring forward = path;
    for (wchar_t& unit : forward)
        if (unit == L'\\') unit = L'/';
    EXPECT_EQ(findProcessByPath(forward), child.id);
    wchar_t shortName[MAX_PATH];
    const DWORD length = GetShortPathNameW(path.c_str(), shortName, MAX_PATH);
    ASSERT_GT(length, 0u);
    EXPECT_NE(std::wstring(shortName, length), path) << "idle_sleeper.exe has an 8.3 name";
    EXPECT_EQ(findProcessByPath(std::wstring(shortName, length)), child.id);
    {
        CurrentDirectory here(folderOf(path));
        EXPECT_EQ(findProcessByPath(L"idle_sleeper.exe"), child.id);
    }
    // A missing file is compared as typed, and is no running image.
    EXPECT_EQ(findProcessByPath(path + L".missing"), 0u);
}

// A batch file runs as cmd.exe, and a relative path names the program beside
// the current directory: either is started once and left alone while it
// runs, and started again once it was ended from outside.
TEST(Win32WatchLoop, BatchFilesAndRelativePathsAreStartedOnce) {
    const std::wstring program = test::testProgramPath(L"idle_sleeper");
    const std::wstring folder = test::makeScratchFolder(L"named");
    ASSERT_FALSE(folder.empty());
    const std::wstring batch = folder + L"\\run.bat";
    ASSERT_TRUE(test::writeFileBytes(batch, "@\"" + std::string(program.begin(), program.end()) + "\"\r\n"));
    CurrentDirectory here(folderOf(program));
    for (const std::wstring& named : {batch, std::wstring(L"idle_sleeper.exe")}) {
        SCOPED_TRACE(std::string(named.begin(), named.end()));
        test::terminateInstancesOf(program);
        WatchSettings settings;
        settings.processName = named;
        settings.checkPeriod = 0;
        settings.responseTimeout = 1000;
        SurveillanceState state = startingState(settings);
        for (int check = 0; check < 5; ++check) runCheck(settings, state);
        EXPECT_EQ(state.restartCount, 1u);
        ASSERT_NE(state.target.process.handle, -1);
        EXPECT_TRUE(terminateProcess(state.target.process, 5000));
        for (int check = 0; check < 5; ++check) runCheck(settings, state);
        EXPECT_EQ(state.restartCount, 2u);
        terminateProcess(state.target.process, 5000);
        releaseTarget(state.target);
    }
    test::terminateInstancesOf(program);
    test::removeFolderTree(folder);
}

// A bare name is the program ShellExecuteEx finds (the Windows directory before
// the system one, App Paths last): started once, held, found when it runs.
TEST(Win32WatchLoop, ABareNameIsTheProgramTheStartFinds) {
    const std::wstring program = test::testProgramPath(L"idle_sleeper"), quoted = L"\"" + program + L"\"";
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\procguard_registered.exe";
    RegSetKeyValueW(HKEY_CURRENT_USER, key, nullptr, REG_SZ, quoted.c_str(), (quoted.size() + 1) * sizeof(wchar_t));
    std::wstring found;
    EXPECT_TRUE(searchProgram(L"procguard_registered", found) && foldPathCase(found) == foldPathCase(program));
    RegDeleteKeyW(HKEY_CURRENT_USER, key);
    WatchSettings settings;
    settings.processName = L"notepad.exe";
    settings.responseTimeout = 5000;
    SurveillanceState state = startingState(settings), again = startingState(settings);
    for (int check = 0; check < 10; ++check) runCheck(settings, state);
    for (int check = 0; check < 3; ++check) runCheck(settings, again);
    wchar_t windows[MAX_PATH];
    EXPECT_EQ(foldPathCase(getProcessImagePath(state.target.process.id)),
              foldPathCase(std::wstring(windows, GetWindowsDirectoryW(windows, MAX_PATH)) + L"\\notepad.exe"));
    EXPECT_EQ(state.restartCount + again.restartCount, 1u);
    releaseTarget(again.target);
    terminateProcess(state.target.process, 5000);
    releaseTarget(state.target);
}

TEST(Win32ProcessLookup, AnEndedTargetIsNoLongerFound) {
    const std::wstring path = test::testProgramPath(L"idle_sleeper");
    test::terminateInstancesOf(path);
    {
        test::ChildProcess child;
        ASSERT_TRUE(test::startTestProgram(L"idle_sleeper", L"", child));
        ASSERT_EQ(findProcessByPath(path), child.id);
    }
    EXPECT_EQ(findProcessByPath(path), 0u);
}

} // namespace
} // namespace procguard
