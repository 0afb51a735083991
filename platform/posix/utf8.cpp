#include "platform/posix/utf8.h"

namespace procguard {

namespace {

constexpr wchar_t kEscapeBase = 0xDC00;

// Length of the sequence a lead byte announces, 0 for a byte that cannot lead.
std::size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

} // namespace

std::wstring decodeUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = sequenceLength(lead);
        bool valid = length != 0 && i + length <= bytes.size();
        char32_t cp = 0;
        if (valid) {
            cp = length == 1 ? lead : lead & (0x7F >> length);
            for (std::size_t k = 1; k < length && valid; ++k) {
                const auto c = static_cast<unsigned char>(bytes[i + k]);
                valid = (c & 0xC0) == 0x80;
                cp = (cp << 6) | (c & 0x3F);
            }
            // Overlong forms, surrogates and values past U+10FFFF are not text.
            static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
            valid = valid && cp >= kMinimum[length] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        }
        if (valid) {
            text.push_back(static_cast<wchar_t>(cp));
            i += length;
        } else {
            text.push_back(static_cast<wchar_t>(kEscapeBase + lead));
            ++i;
        }
    }
    return text;
}

std::string encodeUtf8(std::wstring_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t wc : text) {
        const auto cp = static_cast<char32_t>(wc);
        if (cp >= 0xDC80 && cp <= 0xDCFF) {
            bytes.push_back(static_cast<char>(cp - kEscapeBase));
        } else if (cp < 0x80) {
            bytes.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            bytes.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            if (cp >= 0xD800 && cp <= 0xDFFF) { // a stray surrogate has no UTF-8 form
                bytes += "\xEF\xBF\xBD";
                continue;
            }
            bytes.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp <= 0x10FFFF) {
            bytes.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            bytes.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            bytes += "\xEF\xBF\xBD";
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

} // namespace procguard
