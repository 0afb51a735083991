#include "app/startup.h"

#include "app/event_log.h"
#include "app/exit_codes.h"
#include "console/console.h"

namespace procguard {

namespace {

const wchar_t kPrivilegeWarning[] =
    L"ERROR: Failed to acquire debug privileges.\n"
    L"This will prevent the tool from detecting some processes and from automatically terminating "
    L"the target process when it is hung.\n"
    L"Try running the tool as an administrator to fix this.\n"
    L"Press any key to ignore this and continue anyway.\n";

} // namespace

TokenHandle runStartup() {
    const TokenHandle token = acquireThreadToken();
    if (token == 0) {
        printLine(L"Failed to acquire thread token.");
        waitForKey();
        return 0;
    }
    PrivilegeId debugPrivilege;
    if (!lookupDebugPrivilege(debugPrivilege) || !setPrivilege(token, debugPrivilege, true))
        showMessageAndWaitForKey(kPrivilegeWarning);
    return token;
}

void runEndOfRun(TokenHandle token) {
    PrivilegeId debugPrivilege;
    if (lookupDebugPrivilege(debugPrivilege)) setPrivilege(token, debugPrivilege, false);
}

int endStoppedRun(TokenHandle token, std::uint32_t restartCount) {
    runEndOfRun(token);
    logEvent({.event = WatchEvent::Stopped, .restarts = restartCount});
    // On a line of its own: the stop may come in the middle of a prompt.
    print("\nStopped.\n");
    return kExitStopped;
}

} // namespace procguard
