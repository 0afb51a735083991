#include "platform/platform.h"
#include "platform/posix/utf8.h"

namespace procguard {

// Arguments are bytes in the locale's encoding, UTF-8 in practice; bytes that
// are not valid UTF-8 survive as escapes, so a config file name is opened as
// typed.
std::wstring programArgument(int argc, char** argv, int index) {
    if (index < 0 || index >= argc || argv[index] == nullptr) return {};
    return decodeUtf8(argv[index]);
}

} // namespace procguard
