#include "base/utf8.h"

namespace procguard {

namespace {

constexpr char32_t kEscapeBase = 0xDC00;
constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;

// Length of the sequence a lead byte announces, 0 for a byte that cannot lead.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

void appendCodePoint(std::wstring& text, char32_t cp) {
    if (kWideIsUtf16 && cp > 0xFFFF) {
        cp -= 0x10000;
        text.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        text.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
        return;
    }
    text.push_back(static_cast<wchar_t>(cp));
}

// The valid sequence at `i`, or false.
bool decodeSequence(std::string_view bytes, std::size_t i, char32_t& cp, std::size_t& length) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    length = sequenceLength(lead);
    if (length == 0 || i + length > bytes.size()) return false;
    cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        const auto c = static_cast<unsigned char>(bytes[i + k]);
        if ((c & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    return cp >= kMinimum[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

void appendUtf8(std::string& bytes, char32_t cp) {
    if (cp < 0x80) {
        bytes.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

std::wstring decodeUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        std::size_t length = 0;
        if (decodeSequence(bytes, i, cp, length)) {
            appendCodePoint(text, cp);
            i += length;
        } else {
            text.push_back(static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
        }
    }
    return text;
}

std::string encodeUtf8(std::wstring_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto cp = static_cast<char32_t>(text[i]);
        const bool high = cp >= 0xD800 && cp <= 0xDBFF;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            // A UTF-16 pair (only Windows text holds them).
            appendUtf8(bytes, 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char32_t>(text[++i]) - 0xDC00));
        } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
            bytes.push_back(static_cast<char>(cp - kEscapeBase)); // an undecodable byte, given back
        } else if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            bytes += "\xEF\xBF\xBD"; // a stray surrogate has no UTF-8 form
        } else {
            appendUtf8(bytes, cp);
        }
    }
    return bytes;
}

std::size_t incompleteUtf8Tail(std::string_view bytes) {
    // A sequence is at most 4 bytes, so only the last 3 can start an open one.
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const auto c = static_cast<unsigned char>(bytes[bytes.size() - back]);
        if ((c & 0xC0) == 0x80) continue; // continuation byte: look further back
        const std::size_t length = sequenceLength(c);
        return length > back ? back : 0;
    }
    return 0;
}

std::wstring decodeUtf8Chunk(Utf8StreamDecoder& decoder, std::string_view bytes) {
    std::string& pending = decoder.pending;
    pending.append(bytes);
    const std::size_t complete = pending.size() - incompleteUtf8Tail(pending);
    std::wstring text = decodeUtf8(std::string_view(pending).substr(0, complete));
    pending.erase(0, complete);
    return text;
}

std::wstring finishUtf8Stream(Utf8StreamDecoder& decoder) {
    std::wstring text = decodeUtf8(decoder.pending);
    decoder.pending.clear();
    return text;
}

} // namespace procguard
