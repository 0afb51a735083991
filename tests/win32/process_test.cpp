// Processes on the real system: enumeration, image paths, start, termination.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/platform.h"
#include "target/process_lookup.h"
#include "platform/win32/system_error.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

using test::ChildProcess;
using test::testProgramPath;

bool contains(const std::vector<ProcessId>& ids, ProcessId id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

TEST(Win32Processes, EnumerationListsThisProcessAndAStartedChild) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"windowless", L"", child));
    std::vector<ProcessId> ids{12345};
    ASSERT_TRUE(enumerateProcessIds(ids));
    EXPECT_TRUE(contains(ids, GetCurrentProcessId()));
    EXPECT_TRUE(contains(ids, child.id));
    // The list is replaced, not appended to (ids are multiples of four).
    EXPECT_FALSE(contains(ids, 12345u));
}

TEST(Win32Processes, ImagePathIsTheFullPathOfTheExecutable) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"windowless", L"", child));
    EXPECT_EQ(foldPathCase(getProcessImagePath(child.id)), foldPathCase(testProgramPath(L"windowless")));

    wchar_t own[32768];
    const DWORD length = GetModuleFileNameW(nullptr, own, 32768);
    EXPECT_EQ(foldPathCase(getProcessImagePath(GetCurrentProcessId())), foldPathCase(std::wstring(own, length)));
}

// An id above every running one; ids are multiples of four.
ProcessId unusedProcessId() {
    std::vector<ProcessId> ids;
    enumerateProcessIds(ids);
    const ProcessId highest = ids.empty() ? 0 : *std::max_element(ids.begin(), ids.end());
    return (highest | 3u) + 1u + 4000u;
}

TEST(Win32Processes, ImagePathOfAProcessThatCannotBeOpenedIsUnknown) {
    EXPECT_EQ(getProcessImagePath(0), L"<unknown>");
    EXPECT_EQ(getProcessImagePath(unusedProcessId()), L"<unknown>");
}

TEST(Win32Processes, FoldPathCaseLowersAsciiLettersOnly) {
    EXPECT_EQ(foldPathCase(L"Z:\\Tmp\\Build\\TARGET.EXE"), L"z:\\tmp\\build\\target.exe");
    EXPECT_EQ(foldPathCase(L"c:\\already\\lower 1-2_3.exe"), L"c:\\already\\lower 1-2_3.exe");
    // The same length, code unit for code unit: nothing is normalised away.
    EXPECT_EQ(foldPathCase(L"C:/A\\\\B "), L"c:/a\\\\b ");
}

TEST(Win32Processes, TerminateEndsAHungProgram) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"hung_window", L"", child));
    ASSERT_NE(test::waitUntilHung(child.id, 10000), 0u);
    HeldProcess held = holdProcess(child.id);
    ASSERT_NE(held.handle, -1);
    EXPECT_FALSE(processHasEnded(held));
    EXPECT_TRUE(terminateProcess(held, 5000));
    EXPECT_TRUE(processHasEnded(held));
    releaseProcess(held);
    EXPECT_TRUE(test::waitForExit(child.handle, 0));
    DWORD exitCode = 1234;
    GetExitCodeProcess(child.handle, &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

TEST(Win32Processes, TerminateFailsForAnIdThatCannotBeOpened) {
    EXPECT_FALSE(terminateProcess(HeldProcess{0, -1}, 100));
    EXPECT_FALSE(terminateProcess(HeldProcess{unusedProcessId(), -1}, 100));
    EXPECT_EQ(holdProcess(unusedProcessId()).handle, -1);
}

TEST(Win32Processes, StartPassesTheArgumentLineUnchanged) {
    const std::wstring folder = test::makeScratchFolder(L"start");
    ASSERT_FALSE(folder.empty());
    const std::wstring record = folder + L"\\args.txt";
    SetEnvironmentVariableW(L"PROCGUARD_ARGS_FILE", record.c_str());
    const std::wstring arguments = L"--run 3 \"two words\" caf\u00e9 \u20ac\u4e2d";
    HeldProcess process;
    const OsResult started = startProcess(testProgramPath(L"arg_recorder"), arguments, process);
    SetEnvironmentVariableW(L"PROCGUARD_ARGS_FILE", nullptr);
    ASSERT_TRUE(started.ok) << std::string(started.error.begin(), started.error.end());
    // The start holds the process it made, and sees it end.
    ASSERT_NE(process.handle, -1);
    EXPECT_TRUE(test::waitForExit(reinterpret_cast<HANDLE>(process.handle), 10000));
    EXPECT_TRUE(processHasEnded(process));
    releaseProcess(process);

    for (int waited = 0; waited < 200 && !test::fileExists(record); ++waited) Sleep(25);
    const std::wstring recorded = test::wideFromUtf16Bytes(test::readFileBytes(record));
    test::removeFolderTree(folder);

    // The first line is the whole command line: the program, then our line.
    const std::wstring commandLine = recorded.substr(0, recorded.find(L'\n'));
    ASSERT_GE(commandLine.size(), arguments.size());
    EXPECT_EQ(commandLine.substr(commandLine.size() - arguments.size()), arguments);
    const std::wstring expectedArguments = L"--run\n3\ntwo words\ncaf\u00e9\n\u20ac\u4e2d\n";
    ASSERT_GE(recorded.size(), expectedArguments.size());
    EXPECT_EQ(recorded.substr(recorded.size() - expectedArguments.size()), expectedArguments);
}

TEST(Win32Processes, StartOfAMissingFileReportsTheReason) {
    HeldProcess none;
    const OsResult started = startProcess(testProgramPath(L"no_such_program"), L"", none);
    EXPECT_FALSE(started.ok);
    EXPECT_EQ(none.id, 0u);
    EXPECT_EQ(started.error, systemErrorMessage(ERROR_FILE_NOT_FOUND));
    ASSERT_FALSE(started.error.empty());
    EXPECT_NE(started.error.back(), L'\n');
    EXPECT_NE(started.error.back(), L'\r');

    const OsResult inMissingFolder = startProcess(testProgramPath(L"no_such_folder\\program"), L"", none);
    EXPECT_FALSE(inMissingFolder.ok);
    EXPECT_EQ(inMissingFolder.error, systemErrorMessage(ERROR_PATH_NOT_FOUND));
}

} // namespace
} // namespace procguard
