// A target with top-level X11 windows for the window probe tests.
//
//   x11_ping_target answer [hidden] [windows N] [delay MS]  answers every ping (MS ms late)
//   x11_ping_target freeze-after MS [hidden]  answers for MS ms, then hangs
//   x11_ping_target no-ping                   window without _NET_WM_PING
//   x11_ping_target no-window                 no X connection at all
//
// SIGUSR1 makes it hang at once: no ping sent after the signal is answered,
// so a test knows when the window stops answering without waiting for a time.
// Each window carries _NET_WM_PID and WM_CLIENT_MACHINE as toolkits set them.
// Prints "pid P", then "window W" for each window (in creation order), then
// "ready" once the windows exist, and "answered" after each ping it answered.
// Exits by itself after a minute, or as soon as the X server goes away, so
// nothing outlives a test that died.
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "x11_client_window.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLifetime = std::chrono::seconds(60);

struct Options {
    std::string mode = "answer";
    long freezeAfterMs = -1; // never
    long delayMs = 0;
    bool hidden = false;
    int windows = 1;
};

Options parse(int argc, char** argv) {
    Options options;
    if (argc > 1) options.mode = argv[1];
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "freeze-after" && i + 1 < argc) options.freezeAfterMs = std::atol(argv[++i]);
        if (word == "windows" && i + 1 < argc) options.windows = std::atoi(argv[++i]);
        if (word == "delay" && i + 1 < argc) options.delayMs = std::atol(argv[++i]);
        if (word == "hidden") options.hidden = true;
    }
    return options;
}

volatile sig_atomic_t frozen = 0;

void freeze(int) { frozen = 1; }

// Whoever started it may have stopped reading after "ready".
void say(const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = write(STDOUT_FILENO, text.data(), text.size());
}

xcb_window_t createWindow(xcb_connection_t* connection, const xcb_screen_t* screen, const x11_client::Atoms& atoms,
                          const Options& options) {
    const xcb_window_t window = x11_client::createWindow(connection, screen, atoms, 160, 90, options.mode != "no-ping");
    if (!options.hidden) xcb_map_window(connection, window);
    return window;
}

// Answers a ping the way a window manager expects: the same message, sent
// to the root with the window still in data[2].
void answer(xcb_connection_t* connection, xcb_window_t root, xcb_client_message_event_t message) {
    message.window = root;
    xcb_send_event(connection, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection);
}

// A hung UI thread: reads nothing any more, but still notices the server
// closing the connection, which poll() reports without asking for input.
int hang(int fd, Clock::time_point end) {
    while (Clock::now() < end) {
        pollfd watched{fd, 0, 0};
        if (poll(&watched, 1, 200) > 0 && (watched.revents & (POLLHUP | POLLERR)) != 0) return 0;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const auto start = Clock::now();
    const auto end = start + kLifetime;
    const Options options = parse(argc, argv);
    signal(SIGPIPE, SIG_IGN);
    signal(SIGUSR1, freeze);
    say("pid " + std::to_string(getpid()));
    if (options.mode == "no-window") {
        say("ready");
        std::this_thread::sleep_until(end);
        return 0;
    }

    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection) != 0) return 2;
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem != 0; ++i) xcb_screen_next(&screens);
    const xcb_screen_t* screen = screens.data;
    const x11_client::Atoms atoms = x11_client::internAtoms(connection);
    for (int i = 0; i < options.windows; ++i)
        say("window " + std::to_string(createWindow(connection, screen, atoms, options)));
    // A round trip, so the windows exist on the server before anyone is told.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    say("ready");

    const int fd = xcb_get_file_descriptor(connection);
    const auto freezeAt = options.freezeAfterMs < 0 ? end : start + std::chrono::milliseconds(options.freezeAfterMs);
    for (;;) {
        if (Clock::now() >= freezeAt || frozen) return hang(fd, end);
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
            // The signal is handled before a read that returns a later ping.
            if (frozen) return hang(fd, end);
            if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == atoms.protocols &&
                message->data.data32[0] == atoms.ping && options.mode != "no-ping") {
                std::this_thread::sleep_for(std::chrono::milliseconds(options.delayMs));
                answer(connection, screen->root, *message);
                say("answered");
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection) != 0) return 0;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(freezeAt - Clock::now());
        pollfd watched{fd, POLLIN, 0};
        poll(&watched, 1, static_cast<int>(std::max<long long>(0, std::min<long long>(wait.count(), 1000))));
    }
}
