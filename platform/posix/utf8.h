// UTF-8 <-> wide text on Linux, where wchar_t holds one code point.
//
// Linux paths and terminal input are bytes and need not be valid UTF-8. A
// byte that is not part of a valid sequence becomes U+DC80..U+DCFF (a lone
// surrogate, never produced by valid text) and is written back as the same
// byte, so every path survives a round trip unchanged.
#pragma once

#include <string>
#include <string_view>

namespace procguard {

std::wstring decodeUtf8(std::string_view bytes);
std::string encodeUtf8(std::wstring_view text);

// The number of bytes at the end of `bytes` that start an incomplete UTF-8
// sequence, so a reader can keep them until the rest arrives.
std::size_t incompleteUtf8Tail(std::string_view bytes);

} // namespace procguard
