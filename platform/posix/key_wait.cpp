// Waiting for a key on Linux: the controlling terminal, read in raw mode.
//
// The key is read from /dev/tty, not from standard input, so it works while
// the answers come from a file or a pipe, and a watchdog without a terminal
// (under a scheduler, a service manager or CI) never waits at all.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "platform/key_wait.h"
#include "platform/stop.h"
#include "platform/posix/stop.h"

namespace procguard {

namespace {

// What the SIGQUIT handler needs to give the terminal back. Set before the
// handler is installed and left alone while it is.
volatile sig_atomic_t gTerminal = -1;
termios gSavedModes{};

// Ctrl+C, SIGTERM and SIGHUP are stop requests that end the wait (see
// stop.h); SIGQUIT still ends the watchdog at once, and must not leave the
// shell with a terminal that neither echoes nor edits lines. tcsetattr and
// raise are async-signal-safe; SA_RESETHAND has already restored the default
// action, so the raised signal ends the process as it would have without us.
void restoreTerminalAndQuit(int signalNumber) {
    const int savedErrno = errno;
    tcsetattr(gTerminal, TCSANOW, &gSavedModes);
    raise(signalNumber);
    errno = savedErrno;
}

} // namespace

void waitForKeystroke() {
    if (stopRequested()) return;
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return; // no controlling terminal: no keyboard to wait for
    termios saved{};
    // A job in the background cannot read the keyboard (it would be stopped
    // by SIGTTIN), so it has no key to wait for either.
    if (tcgetattr(terminal, &saved) != 0 || tcgetpgrp(terminal) != getpgrp()) {
        close(terminal);
        return;
    }

    gSavedModes = saved;
    gTerminal = terminal;
    struct sigaction quit {};
    quit.sa_handler = restoreTerminalAndQuit;
    quit.sa_flags = SA_RESETHAND;
    sigemptyset(&quit.sa_mask);
    struct sigaction previous {};
    // A SIGQUIT the watchdog was told to ignore stays ignored.
    const bool installed = sigaction(SIGQUIT, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN &&
                           sigaction(SIGQUIT, &quit, nullptr) == 0;

    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // TCSAFLUSH shows all output written so far and drops the keys typed
    // before the wait, so only a key pressed from now on ends it.
    if (tcsetattr(terminal, TCSAFLUSH, &raw) == 0 && waitForInputOrStop(terminal, -1) == WaitOutcome::Ready) {
        unsigned char key = 0;
        while (read(terminal, &key, 1) < 0 && errno == EINTR) {}
    }
    // Flushing again drops the rest of a key that sends several bytes (an
    // arrow key, a non-ASCII character), which would otherwise become the
    // start of the next answer.
    tcsetattr(terminal, TCSAFLUSH, &saved);

    if (installed) sigaction(SIGQUIT, &previous, nullptr);
    gTerminal = -1;
    close(terminal);
}

} // namespace procguard
