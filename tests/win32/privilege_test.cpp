// The thread token and the debug privilege on the real system.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <thread>

#include "platform/platform.h"

namespace procguard {
namespace {

// Whether the privilege is enabled on the token, read back from the system.
bool privilegeEnabled(TokenHandle token, PrivilegeId privilege) {
    PRIVILEGE_SET query;
    query.PrivilegeCount = 1;
    query.Control = PRIVILEGE_SET_ALL_NECESSARY;
    query.Privilege[0].Luid.LowPart = static_cast<DWORD>(privilege.value & 0xFFFFFFFFu);
    query.Privilege[0].Luid.HighPart = static_cast<LONG>(privilege.value >> 32);
    query.Privilege[0].Attributes = 0;
    BOOL held = FALSE;
    return PrivilegeCheck(reinterpret_cast<HANDLE>(token), &query, &held) && held;
}

struct TokenOutcome {
    TokenHandle token = 0;
    PrivilegeId privilege;
    bool lookedUp = false;
    bool enabled = false;
    bool onAfterEnable = false;
    bool disabled = false;
    bool onAfterDisable = true;
};

TEST(Win32Token, DebugPrivilegeIsSwitchedOnAndOffOnTheThreadToken) {
    // On a thread of its own, so that the impersonation the token needs does
    // not carry over into the other tests.
    TokenOutcome outcome;
    std::thread([&outcome] {
        outcome.token = acquireThreadToken();
        if (outcome.token == 0) return;
        outcome.lookedUp = lookupDebugPrivilege(outcome.privilege);
        outcome.enabled = setPrivilege(outcome.token, outcome.privilege, true);
        outcome.onAfterEnable = privilegeEnabled(outcome.token, outcome.privilege);
        outcome.disabled = setPrivilege(outcome.token, outcome.privilege, false);
        outcome.onAfterDisable = privilegeEnabled(outcome.token, outcome.privilege);
    }).join();

    ASSERT_NE(outcome.token, 0u);
    ASSERT_TRUE(outcome.lookedUp);
    EXPECT_NE(outcome.privilege.value, 0u);
    EXPECT_TRUE(outcome.enabled);
    EXPECT_TRUE(outcome.onAfterEnable);
    EXPECT_TRUE(outcome.disabled);
    EXPECT_FALSE(outcome.onAfterDisable);
    CloseHandle(reinterpret_cast<HANDLE>(outcome.token));
}

// The system's identity of the token behind a handle; 0 when unknown.
std::uint64_t tokenId(TokenHandle token) {
    TOKEN_STATISTICS statistics{};
    DWORD length = 0;
    if (!GetTokenInformation(reinterpret_cast<HANDLE>(token), TokenStatistics, &statistics, sizeof statistics, &length))
        return 0;
    return (static_cast<std::uint64_t>(static_cast<DWORD>(statistics.TokenId.HighPart)) << 32) |
           statistics.TokenId.LowPart;
}

TEST(Win32Token, AThreadThatAlreadyHasATokenKeepsIt) {
    TokenHandle first = 0, second = 0;
    std::thread([&] {
        first = acquireThreadToken();
        second = acquireThreadToken(); // now impersonating: opened directly
    }).join();
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    // A second impersonation would have put a new token on the thread.
    EXPECT_NE(tokenId(first), 0u);
    EXPECT_EQ(tokenId(second), tokenId(first));
    CloseHandle(reinterpret_cast<HANDLE>(first));
    CloseHandle(reinterpret_cast<HANDLE>(second));
}

TEST(Win32Token, ChangingAPrivilegeTheTokenDoesNotHoldFails) {
    bool changed = true;
    std::thread([&] {
        const TokenHandle token = acquireThreadToken();
        if (token == 0) return;
        PrivilegeId unknown;
        unknown.value = 0x7FFF; // no privilege has this LUID
        changed = setPrivilege(token, unknown, true);
        CloseHandle(reinterpret_cast<HANDLE>(token));
    }).join();
    EXPECT_FALSE(changed);
}

} // namespace
} // namespace procguard
