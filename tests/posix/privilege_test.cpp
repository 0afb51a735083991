// The debug privilege as capabilities. Every case runs in a forked child, so
// the capabilities of the test process itself never change.
#include <sys/capability.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "target/process_lookup.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

bool clearCapability(cap_value_t capability, bool permittedToo) {
    cap_t state = cap_get_proc();
    bool ok = cap_set_flag(state, CAP_EFFECTIVE, 1, &capability, CAP_CLEAR) == 0;
    if (permittedToo) ok = ok && cap_set_flag(state, CAP_PERMITTED, 1, &capability, CAP_CLEAR) == 0;
    ok = ok && cap_set_proc(state) == 0;
    cap_free(state);
    return ok;
}

// Runs `body` in a child and returns its exit code (the number of the first
// failed step, 0 when all held).
template <typename Body>
int inChild(Body body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

class DebugPrivilege : public testing::Test {
protected:
    void SetUp() override {
        token = acquireThreadToken();
        ASSERT_NE(token, 0u);
        ASSERT_TRUE(lookupDebugPrivilege(privilege));
    }

    TokenHandle token = 0;
    PrivilegeId privilege;
};

// The side with the privilege needs it permitted; `ctest -E AsRoot` leaves
// it out for a run as an ordinary user.
class DebugPrivilegeAsRoot : public DebugPrivilege {
protected:
    void SetUp() override {
        ASSERT_TRUE(test::debugCapabilitiesPermitted()) << test::kRunAsRoot;
        DebugPrivilege::SetUp();
    }
};

TEST_F(DebugPrivilegeAsRoot, DisableLowersAndEnableRaisesBothCapabilities) {
    EXPECT_EQ(inChild([&] {
                  if (!setPrivilege(token, privilege, false)) return 1;
                  if (test::hasCapability(CAP_SYS_PTRACE, true) || test::hasCapability(CAP_KILL, true)) return 2;
                  if (!test::debugCapabilitiesPermitted()) return 3; // only lowered, not dropped
                  if (!setPrivilege(token, privilege, true)) return 4;
                  if (!test::hasCapability(CAP_SYS_PTRACE, true) || !test::hasCapability(CAP_KILL, true)) return 5;
                  return 0;
              }),
              0);
}

// As an ordinary user runs: the capabilities are not permitted (as root,
// each is dropped in turn).
TEST_F(DebugPrivilege, EnableIsRefusedWithoutPermission) {
    for (const cap_value_t dropped : {CAP_SYS_PTRACE, CAP_KILL}) {
        EXPECT_EQ(inChild([&] {
                      if (!clearCapability(dropped, true)) return 1;
                      if (setPrivilege(token, privilege, true)) return 2;
                      return 0;
                  }),
                  0)
            << "dropped capability " << dropped;
    }
    EXPECT_FALSE(setPrivilege(0, privilege, true)) << "no token";
    EXPECT_FALSE(setPrivilege(token, PrivilegeId{}, true)) << "no privilege";
}

TEST_F(DebugPrivilegeAsRoot, GovernsReadingAnotherUsersImagePath) {
    test::TempFolder folder;
    const std::string path = test::copyTestProgram("idle_sleeper", folder.path);
    const pid_t other = fork();
    if (other == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(30);
        execl(path.c_str(), path.c_str(), "30", static_cast<char*>(nullptr));
        _exit(31);
    }
    ASSERT_GT(other, 0);
    ASSERT_TRUE(test::waitUntil([&] {
        return test::readFile("/proc/" + std::to_string(other) + "/status").find("Uid:\t65534") != std::string::npos;
    }));

    EXPECT_EQ(inChild([&] {
                  if (!setPrivilege(token, privilege, true)) return 1;
                  if (!test::waitUntil([&] { return getProcessImagePath(other) == test::widen(path); })) return 2;
                  if (!setPrivilege(token, privilege, false)) return 3;
                  if (getProcessImagePath(other) != L"<unknown>") return 4;
                  return 0;
              }),
              0);
    test::endChild(other);
}

} // namespace
} // namespace procguard
