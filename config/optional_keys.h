// The optional sections of a config file: [health] and [restart]. A key that
// is missing or empty keeps its default, so a file without them runs as it
// always did. A key that is given must be good, or the whole file is
// refused: a watchdog that quietly ignored a mistyped limit would guard the
// target otherwise than its file says.
#pragma once

#include <string>

#include "config/watch_settings.h"
#include "platform/result.h"

namespace procguard {

// Reads both sections from the config file at `path` into `settings`. Fails
// with a message that names the file, the section and the key.
Result loadOptionalSections(const std::wstring& path, WatchSettings& settings);

} // namespace procguard
