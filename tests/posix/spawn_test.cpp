// startProcess against the real system: argument splitting, failures, the
// child's session, stdin and signal state, and reaping.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "argv_record.h"
#include "platform/platform.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

using test::TempFolder;

// The zero-separated argv the recorder wrote.
std::vector<std::string> recordedArguments(const std::string& file) {
    return test::recordedWords(test::readFile(file));
}

// Fields of /proc/PID/status, e.g. "SigBlk".
std::string statusField(ProcessId id, const std::string& name) {
    const std::string text = test::readFile("/proc/" + std::to_string(id) + "/status");
    const std::size_t at = text.find("\n" + name + ":");
    if (at == std::string::npos) return {};
    const std::size_t value = text.find_first_not_of(" \t", at + name.size() + 2);
    return text.substr(value, text.find('\n', value) - value);
}

TEST(StartProcess, ArgumentsArriveSplitByWindowsRules) {
    TempFolder folder;
    const std::string recorder = test::copyTestProgram("argv_recorder", folder.path, "rec ord\"er");
    const std::string output = folder.path + "/args";
    const std::wstring line =
        test::widen(output) +
        L" \"two words\" a\\\"b \"\" C:\\dir\\ \"end\\\\\" \"say \"\"hi\"\"\" caf\u00e9 $HOME;`x`|*";

    HeldProcess started;
    const Result result = startProcess(test::widen(recorder), line, started);
    releaseProcess(started);
    ASSERT_TRUE(result.ok) << testing::PrintToString(result.error);
    ASSERT_TRUE(test::waitUntil([&] { return std::filesystem::exists(output); }));

    const std::vector<std::string> expected{
        recorder,    output,  "two words",  "a\"b",        "",
        "C:\\dir\\", "end\\", "say \"hi\"", "caf\xC3\xA9", "$HOME;`x`|*"}; // no shell ever sees the line
    EXPECT_EQ(recordedArguments(output), expected);
}

TEST(StartProcess, FailuresAreReportedWithTheSystemReason) {
    TempFolder folder;
    const std::string plain = folder.path + "/plain.txt";
    std::ofstream(plain) << "not a program\n";
    chmod(plain.c_str(), 0644);
    const std::string script = folder.path + "/no-interpreter";
    std::ofstream(script) << "echo a shell would run this\n";
    chmod(script.c_str(), 0755);

    const struct {
        std::string path;
        int error;
    } cases[] = {
        {folder.path, EACCES},              // a folder
        {plain, EACCES},                    // not executable
        {"", ENOENT},                       // empty path
        {folder.path + "/missing", ENOENT}, // no such file
        {script, ENOEXEC},                  // no shell fallback for a file without #!
    };
    for (const auto& failing : cases) {
        HeldProcess started;
        const Result result = startProcess(test::widen(failing.path), L"x", started);
        EXPECT_FALSE(result.ok) << failing.path;
        EXPECT_EQ(started.id, 0u) << failing.path;
        EXPECT_EQ(result.error, test::widen(std::strerror(failing.error))) << failing.path;
    }
}

TEST(StartProcess, ChildRunsDetachedWithCleanSignalState) {
    TempFolder folder;
    const std::string path = test::copyTestProgram("idle_sleeper", folder.path);

    // Whatever the watchdog blocks or ignores must not be passed on.
    sigset_t blocked;
    sigset_t previousMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    sigprocmask(SIG_BLOCK, &blocked, &previousMask);
    struct sigaction ignore {};
    struct sigaction previousUsr2 {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGUSR2, &ignore, &previousUsr2);
    // Nor does a descriptor it has open without close-on-exec.
    const int inheritable = open("/dev/zero", O_RDONLY);
    HeldProcess started;
    const Result result = startProcess(test::widen(path), L"30", started);
    close(inheritable);
    sigprocmask(SIG_SETMASK, &previousMask, nullptr);
    sigaction(SIGUSR2, &previousUsr2, nullptr);
    ASSERT_TRUE(result.ok) << testing::PrintToString(result.error);

    const ProcessId id = test::waitForProcessWithPath(test::widen(path));
    ASSERT_NE(id, 0u);
    EXPECT_EQ(started.id, id) << "the start holds the process it made";
    EXPECT_GE(started.handle, 0);
    const auto pid = static_cast<pid_t>(id);
    EXPECT_EQ(getsid(pid), pid) << "leads a session of its own";
    EXPECT_NE(getsid(pid), getsid(0));
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/fd/0"), "/dev/null");
    // Right after the exec the dynamic loader briefly holds the libraries it
    // maps open, so a leaked descriptor is one that stays.
    const std::vector<std::string> standardOnly{"0", "1", "2"};
    std::vector<std::string> descriptors;
    test::waitUntil([&] {
        descriptors.clear();
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error))
            descriptors.push_back(entry.path().filename());
        std::sort(descriptors.begin(), descriptors.end());
        return descriptors == standardOnly;
    });
    EXPECT_EQ(descriptors, standardOnly);
    EXPECT_EQ(statusField(id, "SigBlk"), "0000000000000000");
    // glibc leaves its two internal signals (32 and 33, which no program can
    // use) ignored after posix_spawn; every other one must be back to default.
    EXPECT_EQ(std::stoull(statusField(id, "SigIgn"), nullptr, 16) & ~0x180000000ull, 0u) << statusField(id, "SigIgn");
    EXPECT_EQ(std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/cwd"), std::filesystem::current_path());
    EXPECT_FALSE(processHasEnded(started));
    EXPECT_TRUE(terminateProcess(started, 5000));
    EXPECT_TRUE(processHasEnded(started));
    releaseProcess(started);
    EXPECT_EQ(started.id, 0u);
}

// A child of ours that has exited and not been collected yet, peeked at
// without collecting it; 0 if there is none.
pid_t uncollectedChild() {
    siginfo_t info{};
    if (waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) != 0) return 0;
    return info.si_pid;
}

TEST(StartProcess, ExitedChildrenAreReaped) {
    TempFolder folder;
    const std::string recorder = test::copyTestProgram("argv_recorder", folder.path);
    // Targets of earlier tests may still be ending.
    ASSERT_TRUE(test::waitUntil([] {
        collectEndedProcesses();
        return uncollectedChild() == 0;
    }));

    // By the collection at the start of every check, by the next start, and
    // by the release of the held process.
    for (const char* by : {"check", "start", "release"}) {
        HeldProcess started;
        ASSERT_TRUE(startProcess(test::widen(recorder), test::widen(folder.path + "/args"), started).ok);
        pid_t zombie = 0;
        ASSERT_TRUE(test::waitUntil([&] { return (zombie = uncollectedChild()) != 0; }));
        EXPECT_EQ(test::processState(zombie), 'Z');
        EXPECT_TRUE(processHasEnded(started));
        HeldProcess none;
        if (by == std::string("check")) collectEndedProcesses();
        if (by == std::string("start")) {
            EXPECT_FALSE(startProcess(L"", L"", none).ok);
        }
        releaseProcess(started);
        EXPECT_EQ(uncollectedChild(), 0) << by;
        siginfo_t info{};
        EXPECT_NE(waitid(P_PID, static_cast<id_t>(zombie), &info, WEXITED | WNOHANG), 0);
        EXPECT_EQ(errno, ECHILD);
    }
}

} // namespace
} // namespace procguard
