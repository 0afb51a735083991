// writeDump against the real kernel: the core of a target lands in the folder.
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

using test::TempFolder;

TEST(WriteDump, CoreOfAStoppedTargetLandsInANewFolder) {
    TempFolder folder;
    const std::string sleeper = test::copyTestProgram("idle_sleeper", folder.path);
    HeldProcess target;
    ASSERT_TRUE(startProcess(test::widen(sleeper), L"30", target).ok);
    ASSERT_NE(test::waitForProcessWithPath(test::widen(sleeper)), 0u);
    // Frozen, it would never act on the SIGABRT without a SIGCONT.
    const auto pid = static_cast<pid_t>(target.id);
    kill(pid, SIGSTOP);
    ASSERT_TRUE(test::waitUntil([&] { return test::processState(pid) == 'T'; }));

    const std::string dumps = folder.path + "/dumps/new";
    std::wstring written;
    const Result result = writeDump(target, test::widen(dumps), L"/opt/render.bin", written);
    EXPECT_TRUE(processHasEnded(target)) << "the dump ends the process";
    // Ended before any check can return: a stopped target would never end by itself.
    EXPECT_TRUE(terminateProcess(target, 5000));
    releaseProcess(target);
    const std::string pattern = test::readFile("/proc/sys/kernel/core_pattern");
    if (!pattern.empty() && pattern.front() == '|') {
        // Run it where core_pattern is a plain name ("core") to see the file.
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find(L"core handler"), std::wstring::npos) << testing::PrintToString(result.error);
    } else {
        ASSERT_TRUE(result.ok) << testing::PrintToString(result.error);
        const std::filesystem::path file(std::string(written.begin(), written.end()));
        EXPECT_EQ(file.parent_path(), dumps);
        EXPECT_EQ(file.filename().string().rfind("render_" + std::to_string(pid) + "_", 0), 0u) << file;
        EXPECT_EQ(file.extension(), ".core");
        // An ELF file of type ET_CORE.
        const std::string core = test::readFile(file);
        ASSERT_GT(core.size(), 18u);
        EXPECT_EQ(core.substr(0, 4), "\x7f"
                                     "ELF");
        EXPECT_EQ(core[16], 4);
    }

    // A target that has ended cannot be dumped, nor one that is not held.
    EXPECT_FALSE(writeDump(HeldProcess{static_cast<ProcessId>(pid), -1}, test::widen(dumps), L"x", written).ok);
}

TEST(WriteDump, TargetThatIgnoresSigabrtIsLeftRunningWithTheReason) {
    // A shell that ignores SIGABRT, and passes that on to the sleeper it execs.
    TempFolder folder;
    const std::string sleeper = test::copyTestProgram("idle_sleeper", folder.path);
    const std::string script = folder.path + "/ignoring.sh";
    test::writeBytes(script, "#!/bin/sh\ntrap '' ABRT\nexec \"" + sleeper + "\" 30\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    HeldProcess target;
    ASSERT_TRUE(startProcess(test::widen(script), L"", target).ok);
    ASSERT_NE(test::waitForProcessWithPath(test::widen(sleeper)), 0u);
    std::wstring written;
    const Result result = writeDump(target, test::widen(folder.path + "/dumps"), L"ignoring", written);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(L"ignores SIGABRT"), std::wstring::npos) << testing::PrintToString(result.error);
    EXPECT_FALSE(processHasEnded(target));
    EXPECT_TRUE(terminateProcess(target, 5000));
    releaseProcess(target);
}

} // namespace
} // namespace procguard
