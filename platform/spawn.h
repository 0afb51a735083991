// Starting the target.
#pragma once

#include <string>

#include "platform/held_process.h"
#include "platform/result.h"

namespace procguard {

// Starts `path` with the argument line `arguments` (Windows command-line
// quoting rules on every platform) and holds the started process in
// `started` where the platform gives one (id 0 where it does not: a
// document handed to a program that was already running). Fails with the
// system's reason when the start failed.
Result startProcess(const std::wstring& path, const std::wstring& arguments, HeldProcess& started);

} // namespace procguard
