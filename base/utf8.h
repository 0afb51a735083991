// UTF-8 <-> wide text, the same on every platform (wchar_t holds one code
// point on Linux and one UTF-16 code unit on Windows).
//
// Linux paths and piped input are bytes and need not be valid UTF-8. A byte
// that is not part of a valid sequence becomes U+DC80..U+DCFF (a lone
// surrogate, never produced by valid text) and is written back as the same
// byte, so every path survives a round trip unchanged.
#pragma once

#include <string>
#include <string_view>

namespace procguard {

std::wstring decodeUtf8(std::string_view bytes);
std::string encodeUtf8(std::wstring_view text);

// The number of bytes at the end of `bytes` that start a UTF-8 sequence whose
// remaining bytes have not arrived yet, so a reader can keep them until they
// do. A byte that cannot lead a sequence never counts as a start.
std::size_t incompleteUtf8Tail(std::string_view bytes);

// Text that arrives in chunks of any size, a character possibly split
// between two of them.
struct Utf8StreamDecoder {
    std::string pending; // bytes held back until the rest of their sequence arrives
};

// The held-back bytes and `bytes`, decoded; an incomplete sequence at the end
// is held back for the next chunk.
std::wstring decodeUtf8Chunk(Utf8StreamDecoder& decoder, std::string_view bytes);

// At the end of the stream: whatever is still held back, decoded as it stands.
std::wstring finishUtf8Stream(Utf8StreamDecoder& decoder);

} // namespace procguard
