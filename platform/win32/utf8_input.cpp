#include "platform/win32/utf8_input.h"

#include <windows.h>

namespace procguard {

namespace {

std::wstring decodeUtf8(std::string_view bytes) {
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), size, text.data(), length);
    return text;
}

} // namespace

std::size_t incompleteUtf8Tail(std::string_view bytes) {
    // Look back over at most three continuation bytes for the lead byte.
    const std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[size - back]);
        if ((byte & 0xC0) == 0x80) continue; // continuation byte
        std::size_t expected = 1;
        if ((byte & 0xE0) == 0xC0) expected = 2;
        else if ((byte & 0xF0) == 0xE0) expected = 3;
        else if ((byte & 0xF8) == 0xF0) expected = 4;
        return expected > back ? back : 0;
    }
    return 0;
}

std::wstring normaliseLineEnds(std::wstring_view text) {
    std::wstring result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') continue;
        result.push_back(text[i]);
    }
    return result;
}

std::wstring decodeInputChunk(Utf8InputDecoder& decoder, std::string_view bytes) {
    std::string data = std::move(decoder.pending);
    data.append(bytes);
    std::size_t keep = incompleteUtf8Tail(data);
    if (keep == 0 && !data.empty() && data.back() == '\r') keep = 1;
    decoder.pending = data.substr(data.size() - keep);
    data.resize(data.size() - keep);
    return normaliseLineEnds(decodeUtf8(data));
}

std::wstring flushInput(Utf8InputDecoder& decoder) {
    std::string data = std::move(decoder.pending);
    decoder.pending.clear();
    return normaliseLineEnds(decodeUtf8(data));
}

} // namespace procguard
