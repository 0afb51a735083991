// The thread token and the debug privilege on it.
#include "platform/privilege.h"

#include <windows.h>

#include <cstring>

namespace procguard {

namespace {

constexpr DWORD kTokenAccess = TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY; // 0x28

LUID toLuid(PrivilegeId privilege) {
    LUID luid;
    luid.LowPart = static_cast<DWORD>(privilege.value & 0xFFFFFFFFu);
    luid.HighPart = static_cast<LONG>(privilege.value >> 32);
    return luid;
}

} // namespace

TokenHandle acquireThreadToken() {
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), kTokenAccess, FALSE, &token)) return reinterpret_cast<TokenHandle>(token);
    // A thread that does not impersonate has no token of its own; it gets
    // one by impersonating its own process. Any other failure is final.
    if (GetLastError() != ERROR_NO_TOKEN) return 0;
    if (!ImpersonateSelf(SecurityImpersonation)) return 0;
    token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), kTokenAccess, FALSE, &token)) return reinterpret_cast<TokenHandle>(token);
    return 0;
}

bool lookupDebugPrivilege(PrivilegeId& privilege) {
    LUID luid;
    if (!LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &luid)) return false;
    privilege.value = (static_cast<std::uint64_t>(static_cast<DWORD>(luid.HighPart)) << 32) | luid.LowPart;
    return true;
}

bool setPrivilege(TokenHandle token, PrivilegeId privilege, bool enable) {
    HANDLE handle = reinterpret_cast<HANDLE>(token);
    const LUID luid = toLuid(privilege);

    // First call: switch the privilege off and learn its earlier attributes.
    TOKEN_PRIVILEGES newState;
    newState.PrivilegeCount = 1;
    newState.Privileges[0].Luid = luid;
    newState.Privileges[0].Attributes = 0;
    TOKEN_PRIVILEGES previous;
    std::memset(&previous, 0, sizeof previous);
    DWORD previousLength = sizeof(TOKEN_PRIVILEGES);
    // The outcome is read from the last error, which a successful call does
    // not always reset; clearing it first makes it this call's own.
    SetLastError(0);
    AdjustTokenPrivileges(handle, FALSE, &newState, sizeof(TOKEN_PRIVILEGES), &previous, &previousLength);
    if (GetLastError() != 0) return false;

    // Second call: write those attributes back with the enabled bit as asked.
    // An unchanged privilege reports no entry; the zeroed buffer then gives 0.
    previous.PrivilegeCount = 1;
    previous.Privileges[0].Luid = luid;
    if (enable)
        previous.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    else
        previous.Privileges[0].Attributes &= ~static_cast<DWORD>(SE_PRIVILEGE_ENABLED);
    SetLastError(0);
    AdjustTokenPrivileges(handle, FALSE, &previous, previousLength, nullptr, nullptr);
    return GetLastError() == 0;
}

} // namespace procguard
