// bench_x11_client: the X11 clients of the window benchmark.
//
//   bench_x11_client target LOG  one top-level window that answers every ping
//                                (_NET_WM_PING); appends "window W" to LOG,
//                                then "answered" after each ping
//   bench_x11_client crowd N     N other top-level windows
//
// Both write "ready" to standard output once their windows exist.
//
// Every window carries _NET_WM_PID and WM_CLIENT_MACHINE as toolkits set them.
// Both exit when the X server goes away, and die with the process that
// started them.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/programs/posix/x11_client_window.h"

namespace {

// Mapped at once.
xcb_window_t createWindow(xcb_connection_t* connection, const xcb_screen_t* screen, const x11_client::Atoms& atoms,
                          bool answersPing) {
    const xcb_window_t window = x11_client::createWindow(connection, screen, atoms, 64, 48, answersPing);
    xcb_map_window(connection, window);
    return window;
}

void append(int fd, const std::string& line) {
    const std::string text = line + "\n";
    [[maybe_unused]] const ssize_t written = write(fd, text.data(), text.size());
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode != "target" && mode != "crowd") {
        append(STDERR_FILENO, std::string("usage: ") + argv[0] + " target LOG | crowd N");
        return 2;
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    signal(SIGPIPE, SIG_IGN);
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection) != 0) return 1;
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem != 0; ++i) xcb_screen_next(&screens);
    const xcb_screen_t* screen = screens.data;
    const x11_client::Atoms atoms = x11_client::internAtoms(connection);

    int log = -1;
    if (mode == "target") {
        log = open(argv[2], O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log < 0) return 1;
        append(log, "window " + std::to_string(createWindow(connection, screen, atoms, true)));
    } else {
        for (long i = std::strtol(argv[2], nullptr, 10); i > 0; --i) createWindow(connection, screen, atoms, false);
    }
    // A round trip: the windows exist on the server before anyone is told.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    append(STDOUT_FILENO, "ready");

    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            if (log >= 0 && (event->response_type & 0x7f) == XCB_CLIENT_MESSAGE && message->type == atoms.protocols &&
                message->data.data32[0] == atoms.ping) {
                // The pong: the same message, sent to the root for the window manager.
                message->window = screen->root;
                xcb_send_event(connection, 0, screen->root,
                               XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                               reinterpret_cast<const char*>(message));
                xcb_flush(connection);
                append(log, "answered");
            }
            std::free(event);
        }
        if (xcb_connection_has_error(connection) != 0) return 0;
        pollfd watched{xcb_get_file_descriptor(connection), POLLIN, 0};
        poll(&watched, 1, -1);
    }
}
