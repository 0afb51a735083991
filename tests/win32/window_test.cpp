// Windows of real processes: which one is probed, and whether it answers.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "platform/win32/window_list.h"
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

// Waits until the process lists a window of `className` among its own; the
// system may have created others (an input-method window) before it.
bool waitForWindowClass(ProcessId id, const std::wstring& className) {
    return test::waitUntil([&] {
        for (WindowHandle window : win32::listTopLevelWindows(id))
            if (classOf(window) == className) return true;
        return false;
    });
}

TEST(Win32Windows, AnAnsweringWindowAnswersAtOnceAndAHungOneNotWithinTheTimeout) {
    ChildProcess answering, hung;
    ASSERT_TRUE(test::startTestProgram(L"window_target", L"answer", answering));
    ASSERT_TRUE(test::startTestProgram(L"window_target", L"hung", hung));
    ASSERT_TRUE(waitForWindowClass(answering.id, L"procguard_answering"));
    const WindowHandle window = findProcessWindow(answering.id);
    ASSERT_NE(window, 0u);
    EXPECT_EQ(window, win32::listTopLevelWindows(answering.id).front());
    EXPECT_EQ(ownerOf(window), answering.id);
    const WindowHandle hungWindow = test::waitUntilHung(hung.id, 10000);
    ASSERT_NE(hungWindow, 0u);

    ULONGLONG before = GetTickCount64();
    EXPECT_TRUE(windowAnswers(window, 5000));
    EXPECT_LT(GetTickCount64() - before, 4000u) << "an answering window must not use up the time-out";
    before = GetTickCount64();
    EXPECT_FALSE(windowAnswers(hungWindow, 500));
    EXPECT_GE(GetTickCount64() - before, 400u) << "gave up before the time-out";
}

TEST(Win32Windows, FirstEnumeratedWindowWinsEvenWhenHidden) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"window_target", L"hidden-first", child));
    ASSERT_TRUE(waitForWindowClass(child.id, L"procguard_visible"));
    ASSERT_TRUE(waitForWindowClass(child.id, L"procguard_hidden"));
    const std::vector<WindowHandle> windows = win32::listTopLevelWindows(child.id);
    ASSERT_GE(windows.size(), 2u);
    for (WindowHandle window : windows) EXPECT_EQ(ownerOf(window), child.id);

    // The visible window was created first, yet the system lists a hidden one
    // ahead of it; that one is probed.
    const WindowHandle found = findProcessWindow(child.id);
    EXPECT_EQ(found, windows.front());
    EXPECT_NE(classOf(found), L"procguard_visible");
    EXPECT_FALSE(IsWindowVisible(reinterpret_cast<HWND>(found)));
}

TEST(Win32Windows, ProcessWithoutWindowHasNoneAndOthersWindowsAreNotItsOwn) {
    ChildProcess withWindow, withoutWindow;
    ASSERT_TRUE(test::startTestProgram(L"window_target", L"answer", withWindow));
    ASSERT_TRUE(test::startTestProgram(L"idle_sleeper", L"", withoutWindow));
    ASSERT_TRUE(waitForWindowClass(withWindow.id, L"procguard_answering"));
    EXPECT_EQ(findProcessWindow(withoutWindow.id), 0u);
    EXPECT_TRUE(win32::listTopLevelWindows(withoutWindow.id).empty());
    EXPECT_EQ(findProcessWindow(0), 0u);
}

// The window found is remembered; once it has closed, the window the process
// opened in its place is found.
TEST(Win32Windows, AWindowThatClosesAndReopensIsFoundAgain) {
    ChildProcess child;
    ASSERT_TRUE(test::startTestProgram(L"window_target", L"answer", child));
    ASSERT_TRUE(waitForWindowClass(child.id, L"procguard_answering"));
    const WindowHandle first = findProcessWindow(child.id);
    ASSERT_EQ(classOf(first), L"procguard_answering");
    ASSERT_TRUE(PostMessageW(reinterpret_cast<HWND>(first), WM_APP, 0, 0));
    const std::wstring reopened = L"procguard_reopened_" + std::to_wstring(child.id);
    ASSERT_TRUE(test::waitUntil([&] {
        HANDLE event = OpenEventW(SYNCHRONIZE, FALSE, reopened.c_str());
        if (event != nullptr) CloseHandle(event);
        return event != nullptr;
    }));

    const WindowHandle again = findProcessWindow(child.id);
    EXPECT_NE(again, first);
    EXPECT_EQ(classOf(again), L"procguard_answering");
    EXPECT_TRUE(windowAnswers(again, 5000));
}

TEST(Win32Windows, AWindowThatIsGoneDoesNotAnswer) {
    WindowHandle window = 0;
    {
        ChildProcess child;
        ASSERT_TRUE(test::startTestProgram(L"window_target", L"answer", child));
        ASSERT_TRUE(waitForWindowClass(child.id, L"procguard_answering"));
        window = findProcessWindow(child.id);
        ASSERT_NE(window, 0u);
        TerminateProcess(child.handle, 0);
        ASSERT_TRUE(test::waitForExit(child.handle, 5000));
        EXPECT_EQ(findProcessWindow(child.id), 0u);
    }
    EXPECT_FALSE(windowAnswers(window, 500));
}

} // namespace
} // namespace procguard
