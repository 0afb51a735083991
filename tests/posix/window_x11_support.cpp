#include "posix/window_x11_support.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/platform.h"
#include "posix/process_support.h"

namespace procguard::test {

namespace {

using namespace std::chrono_literals;

std::string findExecutable(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// What arrives on `fd` until `marker` has arrived, the writer closed its end,
// or `limit` has passed.
std::string readUntil(int fd, const std::string& marker, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string text;
    while (text.find(marker) == std::string::npos) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd watched{fd, POLLIN, 0};
        if (poll(&watched, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[256];
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count <= 0) break;
        text.append(buffer, static_cast<std::size_t>(count));
    }
    return text;
}

bool exists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

// Xvfb reports its display number on -displayfd once it accepts clients; a
// number another server holds makes it exit at once. Like a desktop's server
// it must not reset whenever its last client leaves: a reset refuses the
// connections that arrive meanwhile.
pid_t startServerOn(int number) {
    const std::string n = std::to_string(number);
    if (exists("/tmp/.X" + n + "-lock") || exists("/tmp/.X11-unix/X" + n)) return -1;
    int fd = -1;
    const pid_t pid = spawnDirectly(
        findExecutable("Xvfb"),
        {":" + n, "-nolisten", "tcp", "-screen", "0", "640x480x24", "-noreset", "-displayfd", "3"}, 3, &fd);
    if (pid <= 0) return -1;
    const std::string reported = readUntil(fd, "\n", 15s);
    close(fd);
    if (reported.find('\n') != std::string::npos) return pid;
    endChild(pid);
    return -1;
}

bool startServer(int& number, pid_t& pid) {
    for (number = 90; number < 140; ++number) {
        pid = startServerOn(number);
        if (pid > 0) return true;
    }
    return false;
}

} // namespace

void WindowX11Test::SetUp() {
    ASSERT_FALSE(findExecutable("Xvfb").empty()) << "Xvfb is not installed (Debian package xvfb)";
    ASSERT_TRUE(startServer(displayNumber_, serverPid_)) << "Xvfb did not start on any display from :90 to :139";
    const char* display = std::getenv("DISPLAY");
    hadDisplay_ = display != nullptr;
    if (hadDisplay_) savedDisplay_ = display;
    setenv("DISPLAY", displayName().c_str(), 1);
}

void WindowX11Test::TearDown() {
    for (pid_t pid : targets_) endChild(pid);
    if (connection_ != nullptr) xcb_disconnect(connection_);
    if (serverPid_ > 0) {
        endChild(serverPid_, SIGTERM);
        if (hadDisplay_) {
            setenv("DISPLAY", savedDisplay_.c_str(), 1);
        } else {
            unsetenv("DISPLAY");
        }
    }
}

X11Target WindowX11Test::startTarget(const std::vector<std::string>& arguments) {
    X11Target target;
    int fd = -1;
    target.pid = spawnDirectly(testProgramPath("x11_ping_target"), arguments, STDOUT_FILENO, &fd);
    EXPECT_GT(target.pid, 0) << "x11_ping_target did not start";
    if (target.pid <= 0) return target;
    targets_.push_back(target.pid);
    const std::string text = readUntil(fd, "ready\n", 15s);
    close(fd);
    EXPECT_NE(text.find("ready\n"), std::string::npos) << "x11_ping_target printed only: " << text;
    std::istringstream lines(text);
    for (std::string word; lines >> word;) {
        if (word == "window" && lines >> word) target.windows.push_back(std::stoul(word));
    }
    return target;
}

void WindowX11Test::stopTarget(X11Target& target) {
    std::erase(targets_, target.pid);
    endChild(target.pid);
    target.pid = -1;
}

void WindowX11Test::restartServer() {
    if (connection_ != nullptr) xcb_disconnect(connection_);
    connection_ = nullptr;
    // A crash: the server tells its clients nothing, and leaves its lock
    // and socket behind.
    endChild(serverPid_, SIGKILL);
    serverPid_ = -1;
    unlink(("/tmp/.X" + std::to_string(displayNumber_) + "-lock").c_str());
    unlink(("/tmp/.X11-unix/X" + std::to_string(displayNumber_)).c_str());
    ASSERT_TRUE(waitUntil([&] { return (serverPid_ = startServerOn(displayNumber_)) > 0; }))
        << "Xvfb did not start again on " << displayName();
}

xcb_connection_t* WindowX11Test::x() {
    if (connection_ == nullptr) {
        connection_ = xcb_connect(displayName().c_str(), nullptr);
        EXPECT_EQ(xcb_connection_has_error(connection_), 0) << "the test cannot reach its own X server";
    }
    return connection_;
}

xcb_window_t WindowX11Test::root() { return xcb_setup_roots_iterator(xcb_get_setup(x())).data->root; }

xcb_atom_t WindowX11Test::atom(const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(x(), xcb_intern_atom(x(), 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

void WindowX11Test::setWindowProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                                      const std::vector<std::uint32_t>& values) {
    xcb_change_property(x(), XCB_PROP_MODE_REPLACE, window, property, type, 32, values.size(), values.data());
    sync();
}

void WindowX11Test::setTextProperty(xcb_window_t window, xcb_atom_t property, const std::string& text) {
    xcb_change_property(x(), XCB_PROP_MODE_REPLACE, window, property, XCB_ATOM_STRING, 8, text.size(), text.data());
    sync();
}

void WindowX11Test::sync() { std::free(xcb_get_input_focus_reply(x(), xcb_get_input_focus(x()), nullptr)); }

} // namespace procguard::test
