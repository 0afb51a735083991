#include "platform/posix/system_error.h"

#include <cstring>

#include "base/utf8.h"

namespace procguard {

std::wstring systemErrorMessage(int error) {
    if (error == kNotRegularFile) return L"Not a regular file";
    return decodeUtf8(std::strerror(error));
}

} // namespace procguard
