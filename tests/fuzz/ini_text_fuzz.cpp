// The Linux profile file reader and writer on arbitrary bytes.
//
// Input: section NUL key NUL value NUL file-bytes (an input with fewer than
// three NULs is all file, written under [main] processName). Every input
// must read without a crash, and a write must either be refused for one of
// the documented reasons, leaving the bytes alone, or leave the value
// readable with every other key and every other line as it was. A file in
// another encoding must come back from its UTF-8 text byte for byte.
#include <optional>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "fuzz/fuzz_failure.h"
#include "platform/posix/ini_text.h"
#include "platform/posix/profile_encoding.h"
#include "posix/ini_text_check.h"

namespace {

using namespace procguard;

struct Case {
    std::wstring section = L"main";
    std::wstring key = L"processName";
    std::wstring value = L"C:\\Jobs\\render.exe";
    std::string_view file;
};

Case split(std::string_view input) {
    Case parts;
    std::string_view fields[3];
    std::string_view rest = input;
    for (std::string_view& field : fields) {
        const std::size_t end = rest.find('\0');
        if (end == std::string_view::npos) {
            parts.file = input;
            return parts;
        }
        field = rest.substr(0, end);
        rest.remove_prefix(end + 1);
    }
    parts.section = decodeUtf8(fields[0]);
    parts.key = decodeUtf8(fields[1]);
    parts.value = decodeUtf8(fields[2]);
    parts.file = rest;
    return parts;
}

bool holdsLineBreak(std::wstring_view text) { return text.find_first_of(L"\r\n") != std::wstring_view::npos; }

// Line breaks and NULs cannot stand in a profile line: a NUL ends a value.
bool unstorable(std::wstring_view text) { return holdsLineBreak(text) || text.find(L'\0') != std::wstring_view::npos; }

std::wstring trimBlanks(std::wstring text) {
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// The reasons a write may be refused, decided here from the texts alone.
bool mayBeRefused(const Case& c) {
    const std::wstring key = trimBlanks(c.key);
    // A key that begins with a byte-order mark, in any spelling that makes its bytes.
    const bool byteOrderMark = encodeUtf8(key).rfind("\xEF\xBB\xBF", 0) == 0;
    return unstorable(c.section) || unstorable(c.key) || unstorable(c.value) || key.find(L'=') != std::wstring::npos ||
           (!key.empty() && (key[0] == L';' || key[0] == L'[')) || byteOrderMark;
}

// A read gives one line's text at most, up to a NUL.
void checkRead(std::string_view bytes, std::wstring_view section, std::wstring_view key) {
    const std::optional<std::wstring> value = profileFileRead(bytes, section, key);
    if (value && unstorable(*value)) fail("a value read holds a line break or a NUL");
}

void checkWrite(const Case& c) {
    const ProfileEdit edit = profileFileWrite(c.file, c.section, c.key, c.value);
    if (!edit.ok) {
        if (!mayBeRefused(c)) fail("a write was refused without a reason");
        if (edit.error.empty()) fail("a refused write gave no message");
        if (edit.bytes != c.file) fail("a refused write changed the bytes");
        return;
    }
    if (mayBeRefused(c)) fail("a write that cannot read back was accepted");
    // The value as bytes and back: text with escapes of invalid bytes compares as stored.
    const std::wstring expected = decodeUtf8(encodeUtf8(c.value));
    if (profileFileRead(edit.bytes, c.section, c.key) != expected) fail("the written value does not read back");
    if (!edit.changed && edit.bytes != c.file) fail("a needless write changed the bytes");

    const ProfileEdit again = profileFileWrite(edit.bytes, c.section, c.key, c.value);
    if (!again.ok || again.changed) fail("writing the same value twice changed the file twice");

    if (const std::string broken = test::checkProfileEdit(c.file, c.section, c.key, c.value); !broken.empty())
        fail(broken);
    // A second key in the same section keeps the first one readable.
    const std::wstring otherKey = c.key + L"_2";
    if (const std::string broken = test::checkProfileEdit(edit.bytes, c.section, otherKey, c.value); !broken.empty())
        fail("second key: " + broken);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Case c = split(std::string_view(reinterpret_cast<const char*>(data), size));
    const ProfileText decoded = decodeProfileFile(std::string(c.file));
    if (!decoded.error.empty()) return 0; // refused whole: never read or written
    std::string again;
    if (!encodeProfileFile(decoded.encoding, decoded.text, again) || again != c.file)
        fail("a file does not come back byte for byte from its text");
    c.file = decoded.text;
    const ProfileEdit edit = profileFileWrite(c.file, c.section, c.key, c.value);
    if (edit.ok && encodeProfileFile(decoded.encoding, edit.bytes, again) !=
                       fitsEncoding(decoded.encoding, c.section + c.key + c.value))
        fail("an edit is encoded although its texts do not fit the file's encoding, or the other way round");
    checkRead(c.file, c.section, c.key);
    for (const wchar_t* key : {L"processName", L"commandParams", L"checkPeriod", L"variables"})
        checkRead(c.file, L"main", key);
    checkRead(c.file, L"", L"");
    checkWrite(c);
    return 0;
}
