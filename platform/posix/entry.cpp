#include <signal.h>

#include "base/utf8.h"
#include "platform/entry.h"
#include "platform/posix/stop.h"

namespace procguard {

void initializePlatform() {
    // Output to a pipe whose reader is gone (procguard | head) must not kill
    // the watchdog and leave its target unwatched: writes then just fail.
    signal(SIGPIPE, SIG_IGN);
    installStopHandlers();
}

// Arguments are bytes in the locale's encoding, UTF-8 in practice; bytes that
// are not valid UTF-8 survive as escapes, so a config file name is opened as
// typed.
std::wstring programArgument(int argc, char** argv, int index) {
    if (index < 0 || index >= argc || argv[index] == nullptr) return {};
    return decodeUtf8(argv[index]);
}

bool slashQuestionMarkAsksForHelp() { return false; }

} // namespace procguard
