// The window probe against a real X server (Xvfb), with x11_ping_target as
// the process whose windows are looked up and pinged.
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/platform.h"
#include "platform/posix/x11/client_windows.h"
#include "posix/process_support.h"
#include "posix/window_x11_support.h"

namespace procguard::test {

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kTimeoutMs = 500;

ProcessId idOf(const X11Target& target) { return static_cast<ProcessId>(target.pid); }

std::size_t openDescriptorCount() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator()));
}

} // namespace

TEST_F(WindowX11Test, ProcessWithoutWindowHasNone) {
    const X11Target windowless = startTarget({"no-window"});
    const X11Target other = startTarget({"answer"});
    ASSERT_EQ(other.windows.size(), 1u);

    EXPECT_EQ(findProcessWindow(idOf(windowless)), 0u);
    EXPECT_TRUE(x11::listClientWindows(idOf(windowless)).empty());
    EXPECT_EQ(findProcessWindow(static_cast<ProcessId>(getpid())), 0u);
}

TEST_F(WindowX11Test, AnsweringWindowIsFoundAndAnswers) {
    const X11Target target = startTarget({"answer"});
    ASSERT_EQ(target.windows.size(), 1u);

    EXPECT_EQ(x11::listClientWindows(idOf(target)), target.windows);
    const WindowHandle window = findProcessWindow(idOf(target));
    EXPECT_EQ(window, target.windows[0]);
    EXPECT_TRUE(windowAnswers(window, 5000));
    EXPECT_TRUE(windowAnswers(window, 5000)) << "a second probe needs a pong of its own";
}

TEST_F(WindowX11Test, HiddenWindowCountsAndFirstCreatedComesFirst) {
    const X11Target target = startTarget({"answer", "hidden", "windows", "2"});
    ASSERT_EQ(target.windows.size(), 2u);

    EXPECT_EQ(x11::listClientWindows(idOf(target)), target.windows);
    EXPECT_EQ(findProcessWindow(idOf(target)), target.windows[0]);
    EXPECT_TRUE(windowAnswers(target.windows[0], 5000));
}

TEST_F(WindowX11Test, WindowOfAnotherProcessIsNeverReturned) {
    const X11Target first = startTarget({"answer"});
    const X11Target second = startTarget({"answer"});
    ASSERT_EQ(first.windows.size(), 1u);
    ASSERT_EQ(second.windows.size(), 1u);

    EXPECT_EQ(findProcessWindow(idOf(first)), first.windows[0]);
    EXPECT_EQ(findProcessWindow(idOf(second)), second.windows[0]);
    EXPECT_EQ(x11::listClientWindows(idOf(first)), first.windows);
}

TEST_F(WindowX11Test, FrozenWindowIsFoundButDoesNotAnswer) {
    const X11Target target = startTarget({"answer"});
    ASSERT_EQ(target.windows.size(), 1u);
    EXPECT_TRUE(windowAnswers(target.windows[0], 5000)) << "answers before it freezes";

    ASSERT_EQ(kill(target.pid, SIGUSR1), 0);
    const WindowHandle window = findProcessWindow(idOf(target));
    EXPECT_EQ(window, target.windows[0]) << "a hung client's window is still listed";
    EXPECT_FALSE(windowAnswers(window, kTimeoutMs));
}

TEST_F(WindowX11Test, WindowWithoutPingCannotBeProbedAndCountsAsAnswering) {
    const X11Target target = startTarget({"no-ping"});
    ASSERT_EQ(target.windows.size(), 1u);

    const WindowHandle window = findProcessWindow(idOf(target));
    EXPECT_EQ(window, target.windows[0]);
    EXPECT_TRUE(windowAnswers(window, kTimeoutMs));
}

TEST_F(WindowX11Test, VanishedWindowDoesNotAnswer) {
    X11Target target = startTarget({"answer"});
    ASSERT_EQ(target.windows.size(), 1u);
    const WindowHandle window = target.windows[0];
    const ProcessId id = idOf(target);
    stopTarget(target);
    // The server destroys the windows once it notices the closed connection.
    ASSERT_TRUE(waitUntil([&] { return x11::listClientWindows(id).empty(); }));

    EXPECT_EQ(findProcessWindow(id), 0u);
    EXPECT_FALSE(windowAnswers(window, kTimeoutMs));
    EXPECT_FALSE(windowAnswers(0x3fffffff, kTimeoutMs)) << "an id that never was a window";
}

TEST_F(WindowX11Test, WithoutDisplayNoProcessHasAWindow) {
    const X11Target target = startTarget({"answer"});
    ASSERT_EQ(target.windows.size(), 1u);

    unsetenv("DISPLAY");
    EXPECT_EQ(findProcessWindow(idOf(target)), 0u);
    EXPECT_TRUE(x11::listClientWindows(idOf(target)).empty());
    EXPECT_TRUE(windowAnswers(target.windows[0], kTimeoutMs)) << "nothing to ask: cannot be probed";

    setenv("DISPLAY", ":1999", 1); // no server there
    EXPECT_EQ(findProcessWindow(idOf(target)), 0u);
    setenv("DISPLAY", displayName().c_str(), 1);
    EXPECT_EQ(findProcessWindow(idOf(target)), target.windows[0]) << "connects again for the display named now";
}

TEST_F(WindowX11Test, ProbesLeaveNoDescriptorOpen) {
    const X11Target target = startTarget({"answer"});
    ASSERT_EQ(target.windows.size(), 1u);
    // The first probe opens the connection that every later one uses.
    ASSERT_EQ(findProcessWindow(idOf(target)), target.windows[0]);
    const std::size_t before = openDescriptorCount();
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(findProcessWindow(idOf(target)), target.windows[0]);
        ASSERT_TRUE(windowAnswers(target.windows[0], 5000));
    }
    EXPECT_EQ(openDescriptorCount(), before);
}

// The window found is remembered; its destruction, or a _NET_WM_PID that
// names another process (its id taken over by another client), arrive on the
// kept connection, and the next look-up takes the process's next window.
TEST_F(WindowX11Test, RememberedWindowIsDroppedOnceDestroyedOrOwnedByAnother) {
    const X11Target target = startTarget({"answer", "windows", "3"});
    ASSERT_EQ(target.windows.size(), 3u);
    const ProcessId id = idOf(target);
    ASSERT_EQ(findProcessWindow(id), target.windows[0]);

    xcb_destroy_window(x(), static_cast<xcb_window_t>(target.windows[0]));
    sync();
    EXPECT_TRUE(waitUntil([&] { return findProcessWindow(id) == target.windows[1]; }));
    EXPECT_TRUE(windowAnswers(target.windows[1], 5000));

    setWindowProperty(static_cast<xcb_window_t>(target.windows[1]), atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, {id + 1});
    EXPECT_TRUE(waitUntil([&] { return findProcessWindow(id) == target.windows[2]; }));
    EXPECT_EQ(findProcessWindow(id + 1), target.windows[1]);
}

// The old connection is closed; the new server may give the new window the
// old one's id, and that is never taken for the old process's.
TEST_F(WindowX11Test, AfterAServerRestartTheNextCheckConnectsAgainAndFindsTheNewWindow) {
    const X11Target before = startTarget({"answer"});
    ASSERT_EQ(findProcessWindow(idOf(before)), before.windows[0]);
    const std::size_t descriptors = openDescriptorCount();

    restartServer();
    const X11Target after = startTarget({"answer"});
    ASSERT_EQ(after.windows.size(), 1u);
    EXPECT_EQ(findProcessWindow(idOf(before)), 0u);
    EXPECT_EQ(findProcessWindow(idOf(after)), after.windows[0]);
    EXPECT_TRUE(windowAnswers(after.windows[0], 5000));
    EXPECT_EQ(openDescriptorCount(), descriptors);
}

TEST_F(WindowX11Test, WindowOfAnotherHostIsIgnored) {
    const X11Target target = startTarget({"answer"});
    ASSERT_EQ(target.windows.size(), 1u);
    const auto window = static_cast<xcb_window_t>(target.windows[0]);

    setTextProperty(window, XCB_ATOM_WM_CLIENT_MACHINE, "elsewhere.invalid");
    EXPECT_EQ(findProcessWindow(idOf(target)), 0u) << "same pid, but a process on another machine";

    char host[HOST_NAME_MAX + 1] = {};
    ASSERT_EQ(gethostname(host, HOST_NAME_MAX), 0);
    setTextProperty(window, XCB_ATOM_WM_CLIENT_MACHINE, host);
    EXPECT_EQ(findProcessWindow(idOf(target)), window);
}

// The test plays an EWMH window manager: a check window that names itself,
// and a client list on the root.
TEST_F(WindowX11Test, WindowManagerClientListGivesTheOrderWhileItRuns) {
    const X11Target target = startTarget({"answer", "windows", "2"});
    ASSERT_EQ(target.windows.size(), 2u);
    const std::vector<WindowHandle> managed{target.windows[1], target.windows[0]};

    const xcb_window_t check = xcb_generate_id(x());
    xcb_create_window(x(), XCB_COPY_FROM_PARENT, check, root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const xcb_atom_t checkAtom = atom("_NET_SUPPORTING_WM_CHECK");
    setWindowProperty(check, checkAtom, XCB_ATOM_WINDOW, {check});
    setWindowProperty(root(), checkAtom, XCB_ATOM_WINDOW, {check});
    setWindowProperty(root(), atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW,
                      {static_cast<std::uint32_t>(managed[0]), static_cast<std::uint32_t>(managed[1])});

    EXPECT_EQ(x11::listClientWindows(idOf(target)), managed);
    EXPECT_EQ(findProcessWindow(idOf(target)), managed[0]);

    // The window manager is gone, its list left behind: stacking order again.
    xcb_destroy_window(x(), check);
    sync();
    EXPECT_EQ(x11::listClientWindows(idOf(target)), target.windows);
}

TEST_F(WindowX11Test, ClientInsideAFrameIsFound) {
    const X11Target target = startTarget({"answer"});
    ASSERT_EQ(target.windows.size(), 1u);

    const xcb_window_t frame = xcb_generate_id(x());
    xcb_create_window(x(), XCB_COPY_FROM_PARENT, frame, root(), 0, 0, 200, 120, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_reparent_window(x(), static_cast<xcb_window_t>(target.windows[0]), frame, 4, 20);
    sync();

    EXPECT_EQ(x11::listClientWindows(idOf(target)), target.windows);
    EXPECT_TRUE(windowAnswers(target.windows[0], 5000)) << "the pong still reaches the root";
}

// Pongs of other probes, or of the window manager's pings, reach every
// client that watches the root; a hung window must not pass on them.
TEST_F(WindowX11Test, ForeignPongsDoNotCount) {
    const X11Target target = startTarget({"freeze-after", "0"});
    ASSERT_EQ(target.windows.size(), 1u);
    const auto window = static_cast<std::uint32_t>(target.windows[0]);
    const xcb_atom_t protocols = atom("WM_PROTOCOLS");
    const xcb_atom_t ping = atom("_NET_WM_PING");

    std::atomic<bool> stop{false};
    std::thread sender([&] {
        xcb_connection_t* connection = xcb_connect(displayName().c_str(), nullptr);
        const xcb_window_t rootWindow = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        for (std::uint32_t i = 1; !stop; ++i) {
            xcb_client_message_event_t pong{};
            pong.response_type = XCB_CLIENT_MESSAGE;
            pong.format = 32;
            pong.window = rootWindow;
            pong.type = protocols;
            pong.data.data32[0] = ping;
            pong.data.data32[1] = i * 7919u;
            pong.data.data32[2] = window;
            xcb_send_event(connection, 0, rootWindow,
                           XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                           reinterpret_cast<const char*>(&pong));
            xcb_flush(connection);
            std::this_thread::sleep_for(20ms);
        }
        xcb_disconnect(connection);
    });
    const bool answered = windowAnswers(window, kTimeoutMs);
    stop = true;
    sender.join();
    EXPECT_FALSE(answered);
}

} // namespace procguard::test
