#include "platform/posix/profile_encoding.h"

#include <algorithm>

#include "base/utf8.h"

namespace procguard {

namespace {

using namespace std::string_view_literals;

// Both directions go through wide text, which holds one code point per
// character here.
static_assert(sizeof(wchar_t) == 4);

constexpr std::string_view kUtf16LeMark = "\xFF\xFE"sv;

// Byte-order marks of encodings that are refused. UTF-32LE's begins with
// UTF-16LE's, so it is looked for first; a UTF-16LE file cannot begin with
// U+0000 anyway.
struct RefusedEncoding {
    std::string_view mark;
    const wchar_t* name;
};
constexpr RefusedEncoding kRefused[] = {
    {"\xFF\xFE\0\0"sv, L"UTF-32LE"},
    {"\0\0\xFE\xFF"sv, L"UTF-32BE"},
    {"\xFE\xFF"sv, L"UTF-16BE"},
};

bool startsWith(std::string_view bytes, std::string_view mark) { return bytes.substr(0, mark.size()) == mark; }

bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

char32_t unitAt(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<char32_t>(static_cast<unsigned char>(bytes[at + 1]))
                                                       << 8;
}

void appendUnit(std::string& bytes, char32_t unit) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
}

std::wstring notUtf16(const std::wstring& why) { return L"it is not valid UTF-16LE text: " + why; }

} // namespace

ProfileText decodeProfileFile(std::string bytes) {
    ProfileText file;
    for (const RefusedEncoding& refused : kRefused) {
        if (startsWith(bytes, refused.mark)) {
            file.error = std::wstring(L"it is ") + refused.name +
                         L" text, which procguard cannot read (it reads UTF-8 and UTF-16LE)";
            return file;
        }
    }
    if (!startsWith(bytes, kUtf16LeMark)) {
        file.text = std::move(bytes);
        return file;
    }
    file.encoding = ProfileEncoding::Utf16Le;
    // Half a character or a lone surrogate has no UTF-8 form, and a write
    // could not give it back: the file is refused rather than changed.
    if (bytes.size() % 2 != 0) {
        file.error = notUtf16(L"an odd number of bytes");
        return file;
    }
    std::wstring text;
    text.reserve(bytes.size() / 2);
    for (std::size_t at = 0; at < bytes.size(); at += 2) {
        char32_t c = unitAt(bytes, at);
        if (isSurrogate(c)) {
            const char32_t low = at + 2 < bytes.size() ? unitAt(bytes, at + 2) : 0;
            if (c > 0xDBFF || low < 0xDC00 || low > 0xDFFF) {
                file.error = notUtf16(L"a lone surrogate at byte " + std::to_wstring(at));
                return file;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
        }
        text.push_back(static_cast<wchar_t>(c));
    }
    file.text = encodeUtf8(text);
    return file;
}

bool encodeProfileFile(ProfileEncoding encoding, std::string_view text, std::string& bytes) {
    if (encoding == ProfileEncoding::Utf8) {
        bytes.assign(text);
        return true;
    }
    const std::wstring wide = decodeUtf8(text);
    if (!fitsEncoding(encoding, wide)) return false;
    bytes.clear();
    bytes.reserve(wide.size() * 2);
    for (const wchar_t c : wide) {
        auto point = static_cast<char32_t>(c);
        if (point >= 0x10000) {
            point -= 0x10000;
            appendUnit(bytes, 0xD800 + (point >> 10));
            point = 0xDC00 + (point & 0x3FF);
        }
        appendUnit(bytes, point);
    }
    return true;
}

bool fitsEncoding(ProfileEncoding encoding, std::wstring_view text) {
    // Valid UTF-8 never decodes to a surrogate: one here stands for a byte
    // that is not UTF-8 (or is stray wide text), and UTF-16 has no unit for it.
    return encoding == ProfileEncoding::Utf8 ||
           std::none_of(text.begin(), text.end(), [](wchar_t c) { return isSurrogate(static_cast<char32_t>(c)); });
}

const wchar_t* encodingName(ProfileEncoding encoding) {
    return encoding == ProfileEncoding::Utf16Le ? L"UTF-16LE" : L"UTF-8";
}

} // namespace procguard
