// The event log's file.
#pragma once

#include <string>
#include <string_view>

#include "platform/result.h"

namespace procguard {

// Appends `line` (whole, its line end included) to the file at `path` with a
// single write, creating the file when it is missing. The file stays open
// between calls and is opened again when `path` no longer names it (renamed
// away by log rotation, or deleted), so each line goes to the file that has
// the name at the time. Never blocks on a reader (a FIFO without one fails).
Result appendToFile(const std::wstring& path, std::string_view line);

} // namespace procguard
