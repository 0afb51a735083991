// Termination without process file descriptors, for kernels older than 5.3;
// terminateProcess() falls back to it on its own.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace procguard {

// Sends SIGKILL with kill() and polls for at most `timeoutMs` until the
// process has ended. Unlike the pidfd way this can hit a process that took
// over the id of one that ended just before.
bool terminateByKill(pid_t pid, std::uint32_t timeoutMs);

} // namespace procguard
