// Process enumeration and image paths against the real /proc.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "target/process_lookup.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

using test::TempFolder;

bool contains(const std::vector<ProcessId>& ids, pid_t pid) {
    return std::find(ids.begin(), ids.end(), static_cast<ProcessId>(pid)) != ids.end();
}

TEST(Processes, EnumerationListsUsAndOurChild) {
    const pid_t child = test::spawnDirectly(test::testProgramPath("idle_sleeper"), {"30"});
    ASSERT_GT(child, 0);
    std::vector<ProcessId> ids{12345678}; // replaced, not appended to
    ASSERT_TRUE(enumerateProcessIds(ids));
    EXPECT_TRUE(contains(ids, getpid()));
    EXPECT_TRUE(contains(ids, child));
    EXPECT_FALSE(contains(ids, 12345678));
    EXPECT_FALSE(contains(ids, 0));
    test::endChild(child);
}

TEST(Processes, ImagePathIsTheExactPathOfTheExecutable) {
    TempFolder folder;
    // Deeper than the 260 characters a fixed buffer would hold.
    std::string deep = folder.path;
    for (int level = 0; level < 6; ++level) deep += "/" + std::string(60, static_cast<char>('a' + level));
    std::filesystem::create_directories(deep);
    // Linux names are case-sensitive, need not be UTF-8, and may end like
    // the kernel's mark of a deleted file.
    const std::string paths[] = {
        test::copyTestProgram("idle_sleeper", folder.path, "Mixed Case sleeper"),
        test::copyTestProgram("idle_sleeper", folder.path, "latin1-\xE9"),
        test::copyTestProgram("idle_sleeper", folder.path, "tool (deleted)"),
        test::copyTestProgram("idle_sleeper", deep),
    };
    for (const std::string& path : paths) {
        const pid_t child = test::spawnDirectly(path, {"30"});
        ASSERT_GT(child, 0);
        EXPECT_TRUE(test::waitUntil([&] { return getProcessImagePath(child) == test::widen(path); }))
            << path << " read as " << testing::PrintToString(getProcessImagePath(child));
        test::endChild(child);
    }
    EXPECT_EQ(test::widen(paths[1]).back(), static_cast<wchar_t>(0xDCE9));
    EXPECT_EQ(foldPathCase(L"/Srv/Render.BIN"), L"/Srv/Render.BIN") << "another spelling is another file";
}

TEST(Processes, ReplacedExecutableKeepsItsPath) {
    TempFolder folder;
    const std::string path = test::copyTestProgram("idle_sleeper", folder.path);
    const pid_t child = test::spawnDirectly(path, {"30"});
    ASSERT_GT(child, 0);
    ASSERT_TRUE(test::waitUntil([&] { return getProcessImagePath(child) == test::widen(path); }));

    // An upgrade in place: the running file is unlinked, a new one takes its name.
    ASSERT_EQ(unlink(path.c_str()), 0);
    EXPECT_EQ(getProcessImagePath(child), test::widen(path)) << "after removal";
    test::copyTestProgram("argv_recorder", folder.path, "idle_sleeper");
    EXPECT_EQ(getProcessImagePath(child), test::widen(path)) << "after replacement";
    test::endChild(child);
}

// A kernel thread runs no program and is not listed; a zombie is a process.
TEST(Processes, KernelThreadsAreNotListed) {
    ASSERT_EQ(test::readFile("/proc/2/comm"), "kthreadd\n") << "this system shows no kernel threads";
    const pid_t zombie = test::spawnDirectly(test::testProgramPath("idle_sleeper"), {"0"});
    ASSERT_TRUE(test::waitUntil([&] { return test::processState(zombie) == 'Z'; }));
    EXPECT_TRUE(isKernelThread(2) && !isKernelThread(zombie) && !isKernelThread(getpid()));
    std::vector<ProcessId> ids; // kernel threads counted by their other mark: kthreadd is their parent
    std::vector<std::wstring> listed;
    ASSERT_TRUE(enumerateProcessIds(ids) && listRunningProcesses(listed));
    const auto threads =
        std::count_if(ids.begin(), ids.end(), [](ProcessId id) { return test::readProcessStat(id).parent == 2; });
    const auto unknown = std::count(listed.begin(), listed.end(), L"<unknown>");
    EXPECT_TRUE(unknown >= 1 && unknown < threads) << unknown << " unknown, " << threads << " kernel threads";
    test::endChild(zombie);
}

TEST(Processes, UnreadableIdsReadUnknown) {
    EXPECT_EQ(getProcessImagePath(0), L"<unknown>");
    EXPECT_EQ(getProcessImagePath(0x7FFFFFFF), L"<unknown>"); // beyond pid_max
    EXPECT_EQ(getProcessImagePath(0xFFFFFFFF), L"<unknown>");

    // A zombie has no executable either.
    const pid_t child = test::spawnDirectly(test::testProgramPath("idle_sleeper"), {"0"});
    ASSERT_GT(child, 0);
    ASSERT_TRUE(test::waitUntil([&] { return test::processState(child) == 'Z'; }));
    EXPECT_EQ(getProcessImagePath(child), L"<unknown>");
    test::endChild(child);
}

} // namespace
} // namespace procguard
