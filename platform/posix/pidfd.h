// Process file descriptors (Linux 5.3 and later): a descriptor that refers to
// one process for as long as it is open, whatever happens to its id.
#pragma once

#include <sys/types.h>

#include <cstdint>

namespace procguard {

// A process file descriptor for `pid` (close-on-exec), or -1 with errno set
// (ENOSYS on older kernels, ESRCH for no such process).
int openProcessFd(pid_t pid);

// pidfd_send_signal; 0 or -1 with errno set.
int sendSignalToFd(int pidfd, int signal);

// Waits until the process has ended (zombies included) for at most
// `timeoutMs`; 0 only looks. True when it has ended.
bool waitForProcessFd(int pidfd, std::uint32_t timeoutMs);

} // namespace procguard
