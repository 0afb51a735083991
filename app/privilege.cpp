#include "app/privilege.h"

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

TokenHandle raiseDebugPrivilege() {
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

void lowerDebugPrivilege(TokenHandle token) {
    PrivilegeId debugPrivilege;
    if (lookupDebugPrivilege(debugPrivilege)) setPrivilege(token, debugPrivilege, false);
}

} // namespace procguard
