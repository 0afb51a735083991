// Processes on the real system: enumeration, image paths, start, termination.
#include <gtest/gtest.h>

#include <algorithm>

#include "argv_record.h"
#include "base/utf8.h"
#include "platform/platform.h"
#include "target/process_lookup.h"
#include "platform/win32/job.h"
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
    ASSERT_TRUE(test::startTestProgram(L"idle_sleeper", L"", child));
    std::vector<ProcessId> ids{12345};
    ASSERT_TRUE(enumerateProcessIds(ids));
    EXPECT_TRUE(contains(ids, GetCurrentProcessId()));
    EXPECT_TRUE(contains(ids, child.id));
    // The list is replaced, not appended to (ids are multiples of four).
    EXPECT_FALSE(contains(ids, 12345u));
}

TEST(Win32Processes, ImagePathIsTheFullPathOfTheExecutable) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"idle_sleeper", L"", child));
    EXPECT_EQ(foldPathCase(getProcessImagePath(child.id)), foldPathCase(testProgramPath(L"idle_sleeper")));

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
    ASSERT_TRUE(test::startTestProgram(L"window_target", L"hung", child));
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
    const std::wstring arguments = L"\"" + record + L"\" --run 3 \"two words\" caf\u00e9 \u20ac\u4e2d";
    HeldProcess process;
    const Result started = startProcess(testProgramPath(L"argv_recorder"), arguments, process);
    ASSERT_TRUE(started.ok) << std::string(started.error.begin(), started.error.end());
    // The start holds the process it made, and sees it end.
    ASSERT_NE(process.handle, -1);
    EXPECT_TRUE(test::waitForExit(reinterpret_cast<HANDLE>(process.handle), 10000));
    EXPECT_TRUE(processHasEnded(process));
    releaseProcess(process);
    ASSERT_TRUE(test::waitUntil([&] { return test::fileExists(record); }));
    const std::string recorded = test::readFileBytes(record);
    test::removeFolderTree(folder);

    // The first word is the whole command line: the program, then our line.
    const std::vector<std::string> words = test::recordedWords(recorded);
    const std::string line = encodeUtf8(arguments);
    ASSERT_FALSE(words.empty());
    ASSERT_GE(words[0].size(), line.size());
    EXPECT_EQ(words[0].substr(words[0].size() - line.size()), line);
    EXPECT_EQ(test::recordedArguments(recorded),
              (std::vector<std::string>{"--run", "3", "two words", "caf\xC3\xA9", "\xE2\x82\xAC\xE4\xB8\xAD"}));
}

TEST(Win32Processes, StartOfAMissingFileReportsTheReason) {
    HeldProcess none;
    const Result started = startProcess(testProgramPath(L"no_such_program"), L"", none);
    EXPECT_FALSE(started.ok);
    EXPECT_EQ(none.id, 0u);
    EXPECT_EQ(started.error, systemErrorMessage(ERROR_FILE_NOT_FOUND));
    ASSERT_FALSE(started.error.empty());
    EXPECT_NE(started.error.back(), L'\n');
    EXPECT_NE(started.error.back(), L'\r');

    const Result inMissingFolder = startProcess(testProgramPath(L"no_such_folder\\program"), L"", none);
    EXPECT_FALSE(inMissingFolder.ok);
    EXPECT_EQ(inMissingFolder.error, systemErrorMessage(ERROR_PATH_NOT_FOUND));
}

// A copy of idle_sleeper under a path of its own, and the first process
// running it once one does.
struct SleeperCopy {
    std::wstring folder = test::makeScratchFolder(L"tree");
    std::wstring path = folder + L"\\sleeper.exe";
    SleeperCopy() { CopyFileW(testProgramPath(L"idle_sleeper").c_str(), path.c_str(), FALSE); }
    ~SleeperCopy() {
        test::terminateInstancesOf(path);
        test::removeFolderTree(folder);
    }
    ProcessId waitForRunning() const {
        ProcessId found = 0;
        test::waitUntil([&] {
            std::vector<ProcessId> ids;
            enumerateProcessIds(ids);
            for (ProcessId id : ids)
                if (foldPathCase(getProcessImagePath(id)) == foldPathCase(path)) found = id;
            return found != 0;
        });
        return found;
    }
};

TEST(Win32Processes, BatchFileIsTerminatedWithTheProgramItRuns) {
    SleeperCopy sleeper;
    const std::wstring script = sleeper.folder + L"\\tree.cmd";
    ASSERT_TRUE(test::writeFileBytes(script, "@\"" + encodeUtf8(sleeper.path) + "\" 60\r\n"));
    HeldProcess target;
    ASSERT_TRUE(startProcess(script, L"", target).ok);
    ASSERT_NE(target.tree, -1) << "held with a job of its own";
    const ProcessId child = sleeper.waitForRunning();
    ASSERT_NE(child, 0u);
    // The batch file's interpreter first; a console host may be in the job too.
    const std::vector<ProcessId> tree = listTreeProcesses(target);
    ASSERT_FALSE(tree.empty());
    EXPECT_EQ(tree.front(), target.id);
    EXPECT_TRUE(contains(tree, child));
    HANDLE childHandle = OpenProcess(SYNCHRONIZE, FALSE, child);
    ASSERT_NE(childHandle, nullptr);

    EXPECT_TRUE(terminateProcess(target, 10000));
    EXPECT_TRUE(processHasEnded(target));
    EXPECT_TRUE(test::waitForExit(childHandle, 0)) << "the program the batch file ran is gone too";
    CloseHandle(childHandle);
    releaseProcess(target);
}

TEST(Win32Processes, ChildStartedBeforeItsParentJoinedIsPutIntoTheJob) {
    SleeperCopy sleeper;
    std::wstring line = L"cmd.exe /c \"\"" + sleeper.path + L"\" 60\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION shell = {};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                               &startup, &shell));
    CloseHandle(shell.hThread);
    const ProcessId child = sleeper.waitForRunning();
    ASSERT_NE(child, 0u);

    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    ASSERT_TRUE(assignWithEarlyChildren(job, shell.hProcess));
    std::vector<ProcessId> members;
    ASSERT_TRUE(listJobProcessIds(job, members));
    EXPECT_TRUE(contains(members, shell.dwProcessId));
    EXPECT_TRUE(contains(members, child));
    EXPECT_TRUE(terminateProcess(HeldProcess{shell.dwProcessId, reinterpret_cast<std::intptr_t>(shell.hProcess),
                                             reinterpret_cast<std::intptr_t>(job)},
                                 10000));
    EXPECT_TRUE(listJobProcessIds(job, members) && members.empty());
    CloseHandle(job);
    CloseHandle(shell.hProcess);
}

TEST(Win32Processes, DumpOfARunningProgramIsAMinidumpInANewFolder) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"window_target", L"answer", child));
    ASSERT_TRUE(test::waitUntil([&] { return findProcessWindow(child.id) != 0; }));
    HeldProcess held = holdProcess(child.id);
    const std::wstring folder = test::makeScratchFolder(L"dump");
    std::wstring written;
    const Result result = writeDump(held, folder + L"\\dumps\\new", L"D:\\Jobs\\render.exe", written);
    ASSERT_TRUE(result.ok) << encodeUtf8(result.error);
    const std::wstring prefix = folder + L"\\dumps\\new\\render_" + std::to_wstring(child.id) + L"_";
    EXPECT_EQ(written.substr(0, prefix.size()), prefix);
    EXPECT_EQ(written.substr(written.size() - 4), L".dmp");
    EXPECT_EQ(test::readFileBytes(written).substr(0, 4), "MDMP");
    EXPECT_FALSE(processHasEnded(held)) << "a Windows dump leaves the process running";
    releaseProcess(held);
    test::removeFolderTree(folder);
}

TEST(Win32Processes, CheckPeriodWaitEndsWhenTheTargetEndsAndNotBefore) {
    HeldProcess target;
    ASSERT_TRUE(startProcess(testProgramPath(L"idle_sleeper"), L"1", target).ok);
    EXPECT_EQ(waitForCheckPeriod(1, target), PeriodEnd::TimePassed);
    const ULONGLONG started = GetTickCount64();
    EXPECT_EQ(waitForCheckPeriod(120000, target), PeriodEnd::TargetEnded);
    EXPECT_TRUE(processHasEnded(target)) << "returned before the target ended";
    EXPECT_LT(GetTickCount64() - started, 60000u);
    releaseProcess(target);
}

} // namespace
} // namespace procguard
