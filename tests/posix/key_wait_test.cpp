// waitForKeystroke on a pseudo-terminal that a forked child takes as its
// controlling terminal, the way a watchdog started from a shell has one.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

// One byte from `fd` within `timeoutMs`, or 0.
char readReport(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    char byte = 0;
    if (poll(&entry, 1, timeoutMs) == 1 && read(fd, &byte, 1) == 1) return byte;
    return 0;
}

int pendingInput(int fd) {
    int count = -1;
    ioctl(fd, FIONREAD, &count);
    return count;
}

bool sameModes(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// Waits for a child to end by itself and returns its wait status; one that
// has not ended after 10 s is killed.
int finish(pid_t child) { return test::endChild(child, 0, std::chrono::seconds(10)); }

class WaitForKeystroke : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
        ASSERT_EQ(tcgetattr(master, &before), 0);
    }

    void TearDown() override {
        for (int fd : {master, slave, report[0], report[1]}) close(fd);
    }

    // A child in a session of its own with the slave as its controlling
    // terminal, prepared as procguard prepares itself; it waits until
    // `typedAhead` bytes are pending, reports 'w', waits for a key and
    // reports 'd'. It exits with 3 when a stop ended the wait.
    pid_t startWaiter(int typedAhead) {
        const pid_t child = fork();
        if (child != 0) return child;
        close(master);
        if (setsid() < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) _exit(10);
        initializePlatform();
        test::waitUntil([&] { return pendingInput(slave) >= typedAhead; }, std::chrono::seconds(5));
        if (write(report[1], "w", 1) != 1) _exit(11);
        waitForKeystroke();
        if (write(report[1], "d", 1) != 1) _exit(12);
        _exit(stopRequested() ? 3 : 0);
    }

    // True once the child's wait has put the terminal in raw mode.
    bool waitForRawMode() {
        return test::waitUntil([&] {
            termios now{};
            return tcgetattr(master, &now) == 0 && (now.c_lflag & ICANON) == 0;
        });
    }

    int master = -1;
    int slave = -1;
    int report[2] = {-1, -1};
    termios before{};
};

TEST_F(WaitForKeystroke, IgnoresTypeAheadAndEndsOnTheNextKey) {
    // A whole line, so the count is visible while the terminal is canonical.
    ASSERT_EQ(write(master, "typed\n", 6), 6);
    const pid_t child = startWaiter(6);
    ASSERT_EQ(readReport(report[0], 10000), 'w');
    ASSERT_TRUE(waitForRawMode());
    termios raw{};
    tcgetattr(master, &raw);
    EXPECT_EQ(raw.c_lflag & ECHO, 0u);
    EXPECT_EQ(pendingInput(slave), 0) << "keys typed before the wait are dropped";
    EXPECT_EQ(readReport(report[0], 50), 0) << "the wait ended without a key";

    // An arrow key sends three bytes; the two after the first must not be
    // left behind for the next answer.
    ASSERT_EQ(write(master, "\x1b[A", 3), 3);
    EXPECT_EQ(readReport(report[0], 10000), 'd');
    EXPECT_EQ(pendingInput(slave), 0);
    const int status = finish(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    termios after{};
    ASSERT_EQ(tcgetattr(master, &after), 0);
    EXPECT_TRUE(sameModes(before, after));
}

TEST_F(WaitForKeystroke, AStopEndsTheWaitAndRestoresTheTerminal) {
    const pid_t child = startWaiter(0);
    ASSERT_EQ(readReport(report[0], 10000), 'w');
    ASSERT_TRUE(waitForRawMode());
    kill(child, SIGTERM);
    const int status = finish(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "the wait returned on the stop: " << status;
    termios after{};
    ASSERT_EQ(tcgetattr(master, &after), 0);
    EXPECT_TRUE(sameModes(before, after));
}

TEST_F(WaitForKeystroke, ReturnsAtOnceInTheBackground) {
    // A job put in the background of the terminal must not be stopped by it.
    const pid_t child = fork();
    if (child == 0) {
        close(master);
        if (setsid() < 0 || ioctl(slave, TIOCSCTTY, 0) != 0) _exit(10);
        const pid_t job = fork();
        if (job == 0) {
            if (setpgid(0, 0) != 0) _exit(11);
            waitForKeystroke();
            _exit(0);
        }
        int status = 0;
        waitpid(job, &status, WUNTRACED); // a stopped job would also return here
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 20);
    }
    const int status = finish(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(WaitForKeystrokeWithoutTerminal, ReturnsAtOnce) {
    const pid_t child = fork();
    if (child == 0) {
        setsid(); // a new session has no controlling terminal
        waitForKeystroke();
        _exit(0);
    }
    const int status = finish(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
} // namespace procguard
