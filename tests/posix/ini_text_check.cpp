#include "posix/ini_text_check.h"

#include <utility>
#include <vector>

#include "base/utf8.h"
#include "platform/posix/ini_text.h"

namespace procguard::test {

namespace {

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Every (section, key) a key line of the file names, by the documented line
// rules: lines end in LF, CRLF or CR; a first non-blank ';' is a comment; a
// first non-blank '[' with a later ']' is a header; else a line with '=' is
// a key. Only the names are taken here: the values are read by the code
// under test, before and after the write.
std::vector<std::pair<std::string, std::string>> keyLines(std::string_view bytes) {
    std::vector<std::pair<std::string, std::string>> keys;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::string section;
    while (!bytes.empty()) {
        const std::size_t end = std::min(bytes.find_first_of("\r\n"), bytes.size());
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end);
        if (!bytes.empty()) bytes.remove_prefix(bytes.substr(0, 2) == "\r\n" ? 2 : 1);
        const std::string_view text = trimBlanks(line);
        if (text.empty() || text.front() == ';') continue;
        if (text.front() == '[' && text.rfind(']') != std::string_view::npos) {
            section = std::string(trimBlanks(text.substr(1, text.rfind(']') - 1)));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) keys.emplace_back(section, trimBlanks(line.substr(0, equals)));
    }
    return keys;
}

} // namespace

std::string checkProfileEdit(std::string_view bytes, std::wstring_view section, std::wstring_view key,
                             std::wstring_view value) {
    const ProfileEdit edit = profileFileWrite(bytes, section, key, value);
    if (!edit.ok || !edit.changed)
        return edit.bytes == bytes ? std::string() : "a refused or needless write changed the bytes";

    const std::wstring expected = decodeUtf8(encodeUtf8(value));
    if (profileFileRead(edit.bytes, section, key) != expected) return "the written value does not read back";

    const std::string sectionName(trimBlanks(encodeUtf8(section)));
    const std::string keyName(trimBlanks(encodeUtf8(key)));
    for (const auto& [otherSection, otherKey] : keyLines(bytes)) {
        if (sameName(otherSection, sectionName) && sameName(otherKey, keyName)) continue;
        const std::wstring wideSection = decodeUtf8(otherSection);
        const std::wstring wideKey = decodeUtf8(otherKey);
        if (profileFileRead(bytes, wideSection, wideKey) != profileFileRead(edit.bytes, wideSection, wideKey))
            return "the key \"" + otherKey + "\" of [" + otherSection + "] reads differently after the write";
    }

    // The bytes that changed lie within one line of the old file.
    std::size_t prefix = 0;
    while (prefix < bytes.size() && prefix < edit.bytes.size() && bytes[prefix] == edit.bytes[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < bytes.size() - prefix && suffix < edit.bytes.size() - prefix &&
           bytes[bytes.size() - 1 - suffix] == edit.bytes[edit.bytes.size() - 1 - suffix])
        ++suffix;
    const std::string_view replaced = bytes.substr(prefix, bytes.size() - prefix - suffix);
    if (replaced.find_first_of("\r\n") != std::string_view::npos) return "bytes of other lines changed";
    return {};
}

} // namespace procguard::test
