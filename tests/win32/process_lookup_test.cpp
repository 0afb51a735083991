// Finding the target among the real running processes by its image path.
#include <gtest/gtest.h>

#include <cwctype>

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

TEST(Win32ProcessLookup, OtherSpellingsOfThePathAreNotTheTarget) {
    test::ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"idle_sleeper", L"", child));
    std::wstring forward = test::testProgramPath(L"idle_sleeper");
    for (wchar_t& unit : forward)
        if (unit == L'\\') unit = L'/';
    EXPECT_EQ(findProcessByPath(forward), 0u);
    EXPECT_EQ(findProcessByPath(L"idle_sleeper.exe"), 0u);
    EXPECT_EQ(findProcessByPath(test::testProgramPath(L"idle_sleeper") + L" "), 0u);
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
