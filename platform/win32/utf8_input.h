// Decoding piped console input: UTF-8 bytes arrive in chunks of any size, and
// a character or a CR LF pair may be split between two chunks.
#pragma once

#include <string>
#include <string_view>

namespace procguard {

struct Utf8InputDecoder {
    std::string pending; // bytes held back until the rest of their sequence arrives
};

// Decodes the pending bytes followed by `bytes`. An incomplete sequence at the
// end, and a CR that may start a CR LF pair, are kept for the next call. Line
// ends come back as LF alone; invalid bytes become U+FFFD.
std::wstring decodeInputChunk(Utf8InputDecoder& decoder, std::string_view bytes);

// At the end of the input: whatever is still pending, decoded as it stands.
std::wstring flushInput(Utf8InputDecoder& decoder);

// CR LF pairs become LF; a lone CR stays.
std::wstring normaliseLineEnds(std::wstring_view text);

// The number of bytes at the end of `bytes` that begin a UTF-8 sequence whose
// remaining bytes have not arrived yet.
std::size_t incompleteUtf8Tail(std::string_view bytes);

} // namespace procguard
