// Windows of real processes: which one is probed, and whether it answers.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "win32/process_support.h"

namespace procguard {
namespace {

using test::ChildProcess;

std::wstring classOf(WindowHandle window) {
    wchar_t name[256] = {};
    const int length = GetClassNameW(reinterpret_cast<HWND>(window), name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

DWORD ownerOf(WindowHandle window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(reinterpret_cast<HWND>(window), &owner);
    return owner;
}

TEST(Win32Windows, AnsweringWindowIsFoundAndAnswersAtOnce) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"answering_window", L"", child));
    const WindowHandle window = test::waitForProcessWindow(child.id, 10000);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(ownerOf(window), child.id);
    EXPECT_EQ(classOf(window), L"procguard_answering");
    const ULONGLONG before = GetTickCount64();
    EXPECT_TRUE(windowAnswers(window, 5000));
    EXPECT_LT(GetTickCount64() - before, 4000u) << "an answering window must not use up the time-out";
}

TEST(Win32Windows, HungWindowDoesNotAnswerWithinTheTimeout) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"hung_window", L"", child));
    const WindowHandle window = test::waitUntilHung(child.id, 10000);
    ASSERT_NE(window, 0u);
    const ULONGLONG before = GetTickCount64();
    EXPECT_FALSE(windowAnswers(window, 500));
    EXPECT_GE(GetTickCount64() - before, 400u) << "gave up before the time-out";
}

TEST(Win32Windows, FirstEnumeratedWindowWinsEvenWhenHidden) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"hidden_first_window", L"", child));
    ASSERT_NE(test::waitForProcessWindow(child.id, 10000), 0u);
    // Both windows exist once the second one is listed.
    std::vector<WindowHandle> windows;
    for (int tries = 0; tries < 200; ++tries) {
        windows = listProcessWindows(child.id);
        bool visibleListed = false, hiddenListed = false;
        for (WindowHandle window : windows) {
            visibleListed |= classOf(window) == L"procguard_visible";
            hiddenListed |= classOf(window) == L"procguard_hidden";
        }
        if (visibleListed && hiddenListed) break;
        Sleep(25);
    }
    ASSERT_GE(windows.size(), 2u);
    for (WindowHandle window : windows) EXPECT_EQ(ownerOf(window), child.id);

    const WindowHandle found = findProcessWindow(child.id);
    EXPECT_EQ(found, windows.front());
    EXPECT_EQ(classOf(found), L"procguard_hidden");
    EXPECT_FALSE(IsWindowVisible(reinterpret_cast<HWND>(found)));
}

TEST(Win32Windows, ProcessWithoutWindowHasNoneAndOthersWindowsAreNotItsOwn) {
    ChildProcess withWindow, withoutWindow;
    ASSERT_TRUE(test::startTestProgram(L"answering_window", L"", withWindow));
    ASSERT_TRUE(test::startTestProgram(L"windowless", L"", withoutWindow));
    ASSERT_NE(test::waitForProcessWindow(withWindow.id, 10000), 0u);
    EXPECT_EQ(findProcessWindow(withoutWindow.id), 0u);
    EXPECT_TRUE(listProcessWindows(withoutWindow.id).empty());
    EXPECT_EQ(findProcessWindow(0), 0u);
}

TEST(Win32Windows, AWindowThatIsGoneDoesNotAnswer) {
    WindowHandle window = 0;
    {
        ChildProcess child;
        ASSERT_TRUE(test::startTestProgram(L"answering_window", L"", child));
        window = test::waitForProcessWindow(child.id, 10000);
        ASSERT_NE(window, 0u);
        TerminateProcess(child.handle, 0);
        ASSERT_TRUE(test::waitForExit(child.handle, 5000));
        EXPECT_EQ(findProcessWindow(child.id), 0u);
    }
    EXPECT_FALSE(windowAnswers(window, 500));
}

} // namespace
} // namespace procguard
