// The thread token and the debug privilege on it.
#pragma once

#include <cstdint>

namespace procguard {

using TokenHandle = std::uintptr_t; // 0: no token

// A privilege as the token functions know it (a LUID on Windows, a set of
// capabilities on Linux).
struct PrivilegeId {
    std::uint64_t value = 0;
};

// The calling thread's token, opened for adjusting privileges and query, or 0.
TokenHandle acquireThreadToken();

// Looks up the debug privilege on the local system.
bool lookupDebugPrivilege(PrivilegeId& privilege);

// Enables or disables `privilege` on `token`; true on success.
bool setPrivilege(TokenHandle token, PrivilegeId privilege, bool enable);

} // namespace procguard
