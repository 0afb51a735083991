// A private X server for the X11 window tests, and targets on it.
//
// Each test starts its own Xvfb on a free display number and points DISPLAY
// at it, so it never depends on, or disturbs, a desktop the machine may have.
// They are built only with libxcb; without Xvfb they fail.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include "platform/platform.h"

namespace procguard::test {

// A running x11_ping_target and what it printed before "ready".
struct X11Target {
    pid_t pid = -1;
    std::vector<WindowHandle> windows; // in creation order
};

class WindowX11Test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts x11_ping_target with `arguments` and waits until its windows
    // exist; the test fails when it does not get there.
    X11Target startTarget(const std::vector<std::string>& arguments);
    // Kills and collects a target started by startTarget.
    void stopTarget(X11Target& target);

    // Kills the X server and starts another on the same display; the test's
    // targets end with the old one.
    void restartServer();

    std::string displayName() const { return ":" + std::to_string(displayNumber_); }

    // The test's own connection to the server, for playing window manager
    // or another client; opened on first use.
    xcb_connection_t* x();
    xcb_window_t root();
    xcb_atom_t atom(const char* name);
    void setWindowProperty(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                           const std::vector<std::uint32_t>& values);
    void setTextProperty(xcb_window_t window, xcb_atom_t property, const std::string& text);
    // Waits until the server has handled every request sent so far.
    void sync();

private:
    pid_t serverPid_ = -1;
    int displayNumber_ = -1;
    bool hadDisplay_ = false;
    std::string savedDisplay_;
    std::vector<pid_t> targets_;
    xcb_connection_t* connection_ = nullptr;
};

} // namespace procguard::test
