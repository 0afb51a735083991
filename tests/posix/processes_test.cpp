// Process enumeration and image paths against the real /proc.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
    std::vector<ProcessId> ids {12345678}; // replaced, not appended to
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

// execvp's rules: each PATH entry in turn, an empty one being the current
// directory, and the first regular file that may be executed.
TEST(Processes, BareNamesAreSearchedAlongPath) {
    TempFolder folder;
    for (const char* sub : {"a", "b", "c"}) std::filesystem::create_directory(folder.path + "/" + sub);
    test::writeBytes(folder.path + "/a/tool", "not executable");
    std::filesystem::create_directory(folder.path + "/b/tool");
    const std::string runnable = test::copyTestProgram("idle_sleeper", folder.path + "/c", "tool");
    test::copyTestProgram("idle_sleeper", folder.path, "here");
    const std::string savedPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    const std::string savedDirectory = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);
    setenv("PATH", (folder.path + "/a:" + folder.path + "/b::" + folder.path + "/c").c_str(), 1);
    std::wstring found;
    EXPECT_TRUE(searchProgram(L"tool", found));
    EXPECT_EQ(found, test::widen(runnable));
    EXPECT_TRUE(searchProgram(L"here", found));
    EXPECT_EQ(found, L"./here");
    EXPECT_FALSE(searchProgram(L"missing", found));
    EXPECT_FALSE(searchProgram(L"c/tool", found)) << "a name with a folder is not searched";
    EXPECT_FALSE(isBareProgramName(L"c/tool"));
    EXPECT_TRUE(isBareProgramName(L"C:\\tool"));
    setenv("PATH", savedPath.c_str(), 1);
    std::filesystem::current_path(savedDirectory);
}

// A kernel thread runs no program and is not listed; a zombie, or a process
// whose name looks like the fields of its stat line, is a process.
TEST(Processes, KernelThreadsAreNotListed) {
    ASSERT_EQ(test::readFile("/proc/2/comm"), "kthreadd\n") << "this system shows no kernel threads";
    EXPECT_TRUE(isKernelThread(2));
    EXPECT_FALSE(isKernelThread(getpid()));
    TempFolder folder;
    const pid_t odd = test::spawnDirectly(test::copyTestProgram("idle_sleeper", folder.path, "x) S 2 2 2 0 -1 9"), {"30"});
    const pid_t zombie = test::spawnDirectly(test::testProgramPath("idle_sleeper"), {"0"});
    ASSERT_TRUE(test::waitUntil([&] { return test::processState(zombie) == 'Z' && test::processState(odd) != 0; }));
    EXPECT_FALSE(isKernelThread(odd));
    EXPECT_FALSE(isKernelThread(zombie));

    // Counted by the other mark of a kernel thread: kthreadd is its parent.
    std::vector<ProcessId> ids;
    ASSERT_TRUE(enumerateProcessIds(ids));
    const long kernelThreads = std::count_if(ids.begin(), ids.end(), [](ProcessId id) {
        return id == 2 || test::readProcessStat(static_cast<pid_t>(id)).parent == 2;
    });
    std::vector<std::wstring> listed;
    ASSERT_TRUE(listRunningProcesses(listed));
    EXPECT_GE(std::count(listed.begin(), listed.end(), L"<unknown>"), 1) << "the zombie is listed";
    EXPECT_LT(std::count(listed.begin(), listed.end(), L"<unknown>"), kernelThreads);
    test::endChild(odd);
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
