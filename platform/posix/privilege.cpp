// The debug privilege on Linux.
//
// What the debug privilege gives on Windows, reading every process's image
// path and terminating every process, takes two capabilities here:
// CAP_SYS_PTRACE (to read /proc/PID/exe of another user's process) and
// CAP_KILL (to signal it). Enabling raises them from the permitted into the
// effective set; a process can only raise what it is permitted, so an
// ordinary user is refused, as on Windows. Disabling lowers them again.
#include <sys/capability.h>

#include <vector>

#include "platform/privilege.h"

namespace procguard {

namespace {

constexpr cap_value_t kDebugCapabilities[] = {CAP_SYS_PTRACE, CAP_KILL};

// The capabilities a PrivilegeId stands for: one bit per capability number.
std::vector<cap_value_t> capabilitiesOf(PrivilegeId privilege) {
    std::vector<cap_value_t> capabilities;
    for (cap_value_t capability = 0; capability < 64; ++capability) {
        if (privilege.value & (std::uint64_t{1} << capability)) capabilities.push_back(capability);
    }
    return capabilities;
}

bool isPermitted(cap_t state, cap_value_t capability) {
    cap_flag_value_t value = CAP_CLEAR;
    return cap_get_flag(state, capability, CAP_PERMITTED, &value) == 0 && value == CAP_SET;
}

} // namespace

// A Linux thread always carries its credentials; there is nothing to open,
// so the token is only a non-zero stand-in for "this thread".
TokenHandle acquireThreadToken() { return 1; }

bool lookupDebugPrivilege(PrivilegeId& privilege) {
    privilege.value = 0;
    for (cap_value_t capability : kDebugCapabilities) privilege.value |= std::uint64_t{1} << capability;
    return true;
}

bool setPrivilege(TokenHandle token, PrivilegeId privilege, bool enable) {
    const std::vector<cap_value_t> capabilities = capabilitiesOf(privilege);
    if (token == 0 || capabilities.empty()) return false;

    cap_t state = cap_get_proc();
    if (state == nullptr) return false;
    bool ok = true;
    if (enable) {
        for (cap_value_t capability : capabilities) ok = ok && isPermitted(state, capability);
    }
    ok = ok && cap_set_flag(state, CAP_EFFECTIVE, static_cast<int>(capabilities.size()), capabilities.data(),
                            enable ? CAP_SET : CAP_CLEAR) == 0;
    ok = ok && cap_set_proc(state) == 0;
    cap_free(state);
    return ok;
}

} // namespace procguard
