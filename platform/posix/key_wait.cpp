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

#include "platform/platform.h"

namespace procguard {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// What a signal handler needs to give the terminal back. Set before the
// handlers are installed and left alone while they are.
volatile sig_atomic_t gTerminal = -1;
termios gSavedModes {};

// A watchdog ended during the wait must not leave the shell with a terminal
// that neither echoes nor edits lines. tcsetattr, sigaction and raise are
// async-signal-safe; SA_RESETHAND has already restored the default action,
// so the raised signal ends the process as it would have without us.
void restoreTerminalAndDie(int signalNumber) {
    const int savedErrno = errno;
    tcsetattr(gTerminal, TCSANOW, &gSavedModes);
    raise(signalNumber);
    errno = savedErrno;
}

void installHandlers(struct sigaction (&previous)[kSignalCount], bool (&installed)[kSignalCount]) {
    struct sigaction action {};
    action.sa_handler = restoreTerminalAndDie;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kEndingSignals) sigaddset(&action.sa_mask, signalNumber);
    for (int i = 0; i < kSignalCount; ++i) {
        installed[i] = false;
        if (sigaction(kEndingSignals[i], nullptr, &previous[i]) != 0) continue;
        // A signal the watchdog was told to ignore (nohup) stays ignored.
        if (previous[i].sa_handler == SIG_IGN) continue;
        installed[i] = sigaction(kEndingSignals[i], &action, nullptr) == 0;
    }
}

void restoreHandlers(const struct sigaction (&previous)[kSignalCount], const bool (&installed)[kSignalCount]) {
    for (int i = 0; i < kSignalCount; ++i) {
        if (installed[i]) sigaction(kEndingSignals[i], &previous[i], nullptr);
    }
}

} // namespace

void waitForKeystroke() {
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return; // no controlling terminal: no keyboard to wait for
    termios saved {};
    // A job in the background cannot read the keyboard (it would be stopped
    // by SIGTTIN), so it has no key to wait for either.
    if (tcgetattr(terminal, &saved) != 0 || tcgetpgrp(terminal) != getpgrp()) {
        close(terminal);
        return;
    }

    gSavedModes = saved;
    gTerminal = terminal;
    struct sigaction previous[kSignalCount];
    bool installed[kSignalCount];
    installHandlers(previous, installed);

    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // TCSAFLUSH shows all output written so far and drops the keys typed
    // before the wait, so only a key pressed from now on ends it.
    if (tcsetattr(terminal, TCSAFLUSH, &raw) == 0) {
        unsigned char key = 0;
        while (read(terminal, &key, 1) < 0 && errno == EINTR) {
        }
    }
    // Flushing again drops the rest of a key that sends several bytes (an
    // arrow key, a non-ASCII character), which would otherwise become the
    // start of the next answer.
    tcsetattr(terminal, TCSAFLUSH, &saved);

    restoreHandlers(previous, installed);
    gTerminal = -1;
    close(terminal);
}

} // namespace procguard
