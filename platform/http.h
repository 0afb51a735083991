// Health URLs: is the target's own HTTP endpoint answering?
//
// Linux asks libcurl, Windows WinHTTP. Neither follows a redirect (a 3xx is
// an answer) nor goes through a proxy: the URL is the target's endpoint,
// usually on this machine, and a proxy would judge the proxy instead.
// https certificates are checked as the library checks them by default.
#pragma once

#include <cstdint>
#include <string>

#include "platform/result.h"

namespace procguard {

// Whether `url` can be probed: it parses as a URL with a host, and its
// scheme is http or https. `error` says what is wrong, naming the URL:
// "\"ftp://h/\" is not an http:// or https:// URL", "\"x\" is not a URL: ...".
Result checkHealthUrl(const std::wstring& url);

// One GET of `url`, waiting at most `timeoutMs` (0 counts as 1) for its
// answer. `ok` when the answer's status is 200 to 399. The status counts as
// soon as the answer's headers are in: a body that does not end within the
// time is not held against it. Otherwise `error` is the reason, naming the
// URL as given:
//   "no answer from URL within N ms"
//   "URL answered 503"
//   "URL: connection refused" (or the system's or library's reason)
// A stop request (stopRequested()) cuts the wait short at once; `ok` is
// false then, with the reason "the check was cut short by a stop request".
// The first call sets the library up; what it opens (a connection the
// server keeps open, too) serves every later call.
Result probeHealthUrl(const std::wstring& url, std::uint32_t timeoutMs);

} // namespace procguard
