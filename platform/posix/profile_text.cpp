#include "platform/posix/profile_text.h"

#include <vector>

#include "platform/posix/utf8.h"

namespace procguard {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Names compare byte by byte with ASCII letters folded; bytes of multi-byte
// UTF-8 sequences are all >= 0x80 and compare exactly.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}

struct Line {
    std::size_t begin = 0; // first byte of the content
    std::size_t end = 0;   // one past the content: the line ending starts here
    std::size_t next = 0;  // one past the line ending
};

std::size_t contentStart(std::string_view bytes) {
    return bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark ? kByteOrderMark.size() : 0;
}

std::vector<Line> splitLines(std::string_view bytes) {
    std::vector<Line> lines;
    std::size_t begin = contentStart(bytes);
    for (std::size_t i = begin; i < bytes.size(); ++i) {
        if (!isLineBreak(bytes[i])) continue;
        const std::size_t next = bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n' ? i + 2 : i + 1;
        lines.push_back({begin, i, next});
        begin = next;
        i = next - 1;
    }
    if (begin < bytes.size()) lines.push_back({begin, bytes.size(), bytes.size()});
    return lines;
}

enum class LineKind { Other, Comment, Header, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;     // section or key name, trimmed
    std::size_t valueAt = 0;   // Key: offset of the byte after '=' in the file
};

ParsedLine parseLine(std::string_view bytes, const Line& line) {
    const std::string_view content = bytes.substr(line.begin, line.end - line.begin);
    const std::string_view text = trimBlanks(content);
    ParsedLine parsed;
    if (text.empty()) return parsed;
    if (text.front() == ';') {
        parsed.kind = LineKind::Comment;
        return parsed;
    }
    if (text.front() == '[') {
        // The name runs to the last ']' so that a name holding ']' is found again.
        const std::size_t close = text.rfind(']');
        if (close != std::string_view::npos) {
            parsed.kind = LineKind::Header;
            parsed.name = trimBlanks(text.substr(1, close - 1));
            return parsed;
        }
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) return parsed;
    parsed.kind = LineKind::Key;
    parsed.name = trimBlanks(content.substr(0, equals));
    parsed.valueAt = line.begin + equals + 1;
    return parsed;
}

// The lines [first, last) that make up the body of the first section named
// `name`; the lines before the first header are the section "".
struct SectionSpan {
    bool found = false;
    std::size_t header = 0; // index of the header line; unused for ""
    std::size_t first = 0;
    std::size_t last = 0;
};

SectionSpan findSection(std::string_view bytes, const std::vector<Line>& lines, std::string_view name) {
    SectionSpan span;
    std::size_t i = 0;
    if (name.empty()) {
        span.found = true;
    } else {
        for (; i < lines.size() && !span.found; ++i) {
            const ParsedLine parsed = parseLine(bytes, lines[i]);
            if (parsed.kind == LineKind::Header && sameName(parsed.name, name)) {
                span.found = true;
                span.header = i;
            }
        }
        if (!span.found) return span;
    }
    span.first = i;
    while (i < lines.size() && parseLine(bytes, lines[i]).kind != LineKind::Header) ++i;
    span.last = i;
    return span;
}

std::string_view unquote(std::string_view value) {
    value = trimBlanks(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

// The value as it must stand in the file to read back unchanged.
std::string storedForm(const std::string& value) {
    const bool quotesWouldGo = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                               value.back() == value.front();
    if (!value.empty() && (isBlank(value.front()) || isBlank(value.back()) || quotesWouldGo))
        return '"' + value + '"';
    return value;
}

std::string_view lineEnding(std::string_view bytes, const Line& line) {
    return bytes.substr(line.end, line.next - line.end);
}

// The ending new lines get when their neighbour has none: the file's first.
std::string_view fileLineEnding(std::string_view bytes, const std::vector<Line>& lines) {
    for (const Line& line : lines)
        if (line.next > line.end) return lineEnding(bytes, line);
    return "\n";
}

bool holdsLineBreak(std::wstring_view text) {
    return text.find_first_of(L"\r\n") != std::wstring_view::npos;
}

std::wstring refusal(std::wstring_view key, const wchar_t* why) {
    return L"the key \"" + std::wstring(key) + L"\" " + why;
}

} // namespace

std::optional<std::wstring> profileFileRead(std::string_view bytes, std::wstring_view section,
                                            std::wstring_view key) {
    const std::string sectionName = encodeUtf8(section);
    const std::string keyName = encodeUtf8(key);
    const std::vector<Line> lines = splitLines(bytes);
    const SectionSpan span = findSection(bytes, lines, trimBlanks(sectionName));
    if (!span.found) return std::nullopt;
    for (std::size_t i = span.first; i < span.last; ++i) {
        const ParsedLine parsed = parseLine(bytes, lines[i]);
        if (parsed.kind == LineKind::Key && sameName(parsed.name, trimBlanks(keyName)))
            return decodeUtf8(unquote(bytes.substr(parsed.valueAt, lines[i].end - parsed.valueAt)));
    }
    return std::nullopt;
}

ProfileEdit profileFileWrite(std::string_view bytes, std::wstring_view section, std::wstring_view key,
                             std::wstring_view value) {
    ProfileEdit edit;
    edit.bytes = std::string(bytes);
    const std::string sectionName(trimBlanks(encodeUtf8(section)));
    const std::string keyName(trimBlanks(encodeUtf8(key)));
    // A line break would end the line early and let the rest of the text
    // stand in the file as keys or sections of its own.
    if (holdsLineBreak(section))
        edit.error = L"the section name \"" + std::wstring(section) + L"\" holds a line break";
    else if (holdsLineBreak(key))
        edit.error = refusal(key, L"holds a line break");
    else if (holdsLineBreak(value))
        edit.error = refusal(key, L"has a value with a line break, which a profile file cannot hold");
    else if (keyName.find('=') != std::string::npos)
        edit.error = refusal(key, L"holds '=', which ends a key name in a profile file");
    else if (!keyName.empty() && (keyName.front() == ';' || keyName.front() == '['))
        edit.error = refusal(key, L"begins with ';' or '[', which would make it a comment or a header");
    else if (keyName.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        edit.error = refusal(key, L"begins with a byte-order mark, which a file may not start with");
    if (!edit.error.empty()) {
        edit.ok = false;
        return edit;
    }
    const std::optional<std::wstring> current = profileFileRead(bytes, section, key);
    if (current && *current == value) return edit;

    const std::string stored = storedForm(encodeUtf8(value));
    const std::vector<Line> lines = splitLines(bytes);
    const std::string_view ending = fileLineEnding(bytes, lines);
    const SectionSpan span = findSection(bytes, lines, sectionName);
    edit.changed = true;
    std::string& out = edit.bytes;
    if (!span.found) {
        if (!lines.empty() && lines.back().next == lines.back().end) out += ending;
        out += '[' + sectionName + ']';
        out += ending;
        out += keyName + '=' + stored;
        out += ending;
        return edit;
    }
    std::size_t lastKey = lines.size();
    for (std::size_t i = span.first; i < span.last; ++i) {
        const ParsedLine parsed = parseLine(bytes, lines[i]);
        if (parsed.kind != LineKind::Key) continue;
        if (sameName(parsed.name, keyName)) {
            // Keep the key's own spelling and layout up to its value.
            std::size_t from = parsed.valueAt;
            if (!stored.empty())
                while (from < lines[i].end && isBlank(bytes[from])) ++from;
            out.replace(from, lines[i].end - from, stored);
            return edit;
        }
        lastKey = i;
    }
    // After the last key, or right after the header of a section without keys.
    std::size_t after = lastKey;
    if (after == lines.size() && !sectionName.empty()) after = span.header;
    std::string inserted;
    std::size_t at = contentStart(bytes);
    std::string_view newEnding = ending;
    if (after < lines.size()) {
        const Line& neighbour = lines[after];
        at = neighbour.next;
        if (neighbour.next == neighbour.end) inserted += ending;
        else newEnding = lineEnding(bytes, neighbour);
    }
    inserted += keyName + '=' + stored;
    inserted += newEnding;
    out.insert(at, inserted);
    return edit;
}

std::string checkProfileEdit(std::string_view bytes, std::wstring_view section, std::wstring_view key,
                             std::wstring_view value) {
    const ProfileEdit edit = profileFileWrite(bytes, section, key, value);
    if (!edit.ok || !edit.changed)
        return edit.bytes == bytes ? std::string() : "a refused or needless write changed the bytes";

    const std::wstring expected = decodeUtf8(encodeUtf8(value));
    if (profileFileRead(edit.bytes, section, key) != expected) return "the written value does not read back";

    // Every other key that could be read before reads the same after.
    const std::string sectionName(trimBlanks(encodeUtf8(section)));
    const std::string keyName(trimBlanks(encodeUtf8(key)));
    std::string_view currentSection;
    for (const Line& line : splitLines(bytes)) {
        const ParsedLine parsed = parseLine(bytes, line);
        if (parsed.kind == LineKind::Header) currentSection = parsed.name;
        if (parsed.kind != LineKind::Key) continue;
        if (sameName(currentSection, sectionName) && sameName(parsed.name, keyName)) continue;
        const std::wstring otherSection = decodeUtf8(currentSection);
        const std::wstring otherKey = decodeUtf8(parsed.name);
        if (profileFileRead(bytes, otherSection, otherKey) != profileFileRead(edit.bytes, otherSection, otherKey))
            return "the key \"" + std::string(parsed.name) + "\" of [" + std::string(currentSection) +
                   "] reads differently after the write";
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

} // namespace procguard
