#include "platform/posix/ini_text.h"

#include "base/utf8.h"

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

// The line that begins at `begin`.
Line lineAt(std::string_view bytes, std::size_t begin) {
    std::size_t end = begin;
    while (end < bytes.size() && !isLineBreak(bytes[end])) ++end;
    std::size_t next = end;
    if (next < bytes.size()) next += bytes[next] == '\r' && next + 1 < bytes.size() && bytes[next + 1] == '\n' ? 2 : 1;
    return {begin, end, next};
}

enum class LineKind { Other, Comment, Header, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;   // section or key name, trimmed
    std::size_t valueAt = 0; // Key: offset of the byte after '=' in the file
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

// The first header line that begins at or after `from` (a line start).
// Every call of the profile functions reads the file afresh, so this jumps
// from one '[' to the next instead of looking at every line.
std::optional<Line> nextHeader(std::string_view bytes, std::size_t from, std::string_view* name = nullptr) {
    const std::size_t start = contentStart(bytes);
    for (std::size_t at = from; (at = bytes.find('[', at)) != std::string_view::npos; ++at) {
        std::size_t begin = at;
        while (begin > start && isBlank(bytes[begin - 1])) --begin;
        if (begin > start && !isLineBreak(bytes[begin - 1])) continue; // not the line's first non-blank
        const Line line = lineAt(bytes, begin);
        const ParsedLine parsed = parseLine(bytes, line);
        if (parsed.kind == LineKind::Header) {
            if (name != nullptr) *name = parsed.name;
            return line;
        }
        at = line.end;
    }
    return std::nullopt;
}

// The body of the first section named `name`: the lines from `begin` up to
// the next header. The lines before the first header are the section "".
struct SectionSpan {
    bool found = false;
    std::optional<Line> header; // none for ""
    std::size_t begin = 0;
    std::size_t end = 0;
};

SectionSpan findSection(std::string_view bytes, std::string_view name) {
    SectionSpan span;
    span.begin = contentStart(bytes);
    if (!name.empty()) {
        std::string_view headerName;
        span.header = nextHeader(bytes, span.begin, &headerName);
        while (span.header && !sameName(headerName, name))
            span.header = nextHeader(bytes, span.header->next, &headerName);
        if (!span.header) return span;
        span.begin = span.header->next;
    }
    span.found = true;
    const std::optional<Line> following = nextHeader(bytes, span.begin);
    span.end = following ? following->begin : bytes.size();
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
    const bool quotesWouldGo =
        value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (!value.empty() && (isBlank(value.front()) || isBlank(value.back()) || quotesWouldGo)) return '"' + value + '"';
    return value;
}

std::string_view lineEnding(std::string_view bytes, const Line& line) {
    return bytes.substr(line.end, line.next - line.end);
}

// The ending new lines get when their neighbour has none: the file's first.
std::string_view fileLineEnding(std::string_view bytes, std::string_view endingWhenNone) {
    const Line first = lineAt(bytes, contentStart(bytes));
    return first.next > first.end ? lineEnding(bytes, first) : endingWhenNone;
}

// What in `text` cannot stand in a profile line, or nullptr. A line break
// would end the line early and let the rest stand as keys or sections of
// its own; a NUL ends a value when it is read.
const wchar_t* unstorable(std::wstring_view text) {
    if (text.find_first_of(L"\r\n") != std::wstring_view::npos) return L"a line break";
    if (text.find(L'\0') != std::wstring_view::npos) return L"a NUL character";
    return nullptr;
}

std::wstring refusal(std::wstring_view key, const wchar_t* why) {
    return L"the key \"" + std::wstring(key) + L"\" " + why;
}

} // namespace

namespace {

std::string foldedName(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) c = asciiLower(c);
    return folded;
}

std::optional<std::wstring> readKey(std::string_view bytes, std::size_t begin, std::size_t end, std::wstring_view key) {
    const std::string keyName = encodeUtf8(key);
    for (std::size_t at = begin; at < end;) {
        const Line line = lineAt(bytes, at);
        const ParsedLine parsed = parseLine(bytes, line);
        if (parsed.kind == LineKind::Key && sameName(parsed.name, trimBlanks(keyName))) {
            // A value ends at a NUL, as a value read into a C string does.
            const std::string_view value = unquote(bytes.substr(parsed.valueAt, line.end - parsed.valueAt));
            return decodeUtf8(value.substr(0, value.find('\0')));
        }
        at = line.next;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::wstring> profileFileRead(std::string_view bytes, std::wstring_view section, std::wstring_view key) {
    const std::string sectionName = encodeUtf8(section);
    const SectionSpan span = findSection(bytes, trimBlanks(sectionName));
    if (!span.found) return std::nullopt;
    return readKey(bytes, span.begin, span.end, key);
}

ProfileIndex indexProfileFile(std::string_view bytes) {
    ProfileIndex index;
    std::size_t begin = contentStart(bytes);
    std::string_view name; // the lines before the first header form the section ""
    std::string_view headerName;
    for (std::optional<Line> header = nextHeader(bytes, begin, &headerName);;
         header = nextHeader(bytes, header->next, &headerName)) {
        const std::size_t end = header ? header->begin : bytes.size();
        index.sections.try_emplace(foldedName(name), begin, end); // the first of a name wins
        if (!header) break;
        name = headerName;
        begin = header->next;
    }
    return index;
}

bool profileFileHasSection(const ProfileIndex& index, std::wstring_view section) {
    return index.sections.count(foldedName(trimBlanks(encodeUtf8(section)))) != 0;
}

std::optional<std::wstring> profileFileRead(std::string_view bytes, const ProfileIndex& index,
                                            std::wstring_view section, std::wstring_view key) {
    const auto found = index.sections.find(foldedName(trimBlanks(encodeUtf8(section))));
    if (found == index.sections.end()) return std::nullopt;
    return readKey(bytes, found->second.first, found->second.second, key);
}

namespace {

// Why section/key/value cannot be written, or an empty text.
std::wstring refusalOf(std::wstring_view section, std::wstring_view key, std::wstring_view value,
                       const std::string& keyName) {
    if (const wchar_t* what = unstorable(section))
        return L"the section name \"" + std::wstring(section) + L"\" holds " + what;
    if (const wchar_t* what = unstorable(key)) return refusal(key, L"holds ") + what;
    if (const wchar_t* what = unstorable(value))
        return refusal(key, L"has a value with ") + what + L", which a profile file cannot hold";
    if (keyName.find('=') != std::string::npos)
        return refusal(key, L"holds '=', which ends a key name in a profile file");
    if (!keyName.empty() && (keyName.front() == ';' || keyName.front() == '['))
        return refusal(key, L"begins with ';' or '[', which would make it a comment or a header");
    if (keyName.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        return refusal(key, L"begins with a byte-order mark, which a file may not start with");
    return {};
}

// A section the file does not have yet goes at its end, with the key.
void appendSection(std::string& out, std::string_view bytes, const std::string& sectionName, const std::string& keyLine,
                   std::string_view ending) {
    if (bytes.size() > contentStart(bytes) && !isLineBreak(bytes.back())) out += ending;
    out += '[' + sectionName + ']';
    out += ending;
    out += keyLine;
    out += ending;
}

// Replaces the value of the key in the section's body, keeping the key's own
// spelling and layout up to its value; or, when the section has no such key,
// inserts the key line after its last key (right after the header of a
// section without keys, first in the file for a "" without keys).
void writeIntoSection(std::string& out, std::string_view bytes, const SectionSpan& span, const std::string& keyName,
                      const std::string& stored, std::string_view ending) {
    std::optional<Line> neighbour = span.header;
    for (std::size_t at = span.begin; at < span.end;) {
        const Line line = lineAt(bytes, at);
        const ParsedLine parsed = parseLine(bytes, line);
        at = line.next;
        if (parsed.kind != LineKind::Key) continue;
        if (sameName(parsed.name, keyName)) {
            std::size_t from = parsed.valueAt;
            if (!stored.empty())
                while (from < line.end && isBlank(bytes[from])) ++from;
            out.replace(from, line.end - from, stored);
            return;
        }
        neighbour = line;
    }
    std::string inserted;
    std::size_t insertAt = contentStart(bytes);
    std::string_view newEnding = ending;
    if (neighbour) {
        insertAt = neighbour->next;
        if (neighbour->next == neighbour->end)
            inserted += ending; // the neighbour ends the file unended
        else
            newEnding = lineEnding(bytes, *neighbour);
    }
    inserted += keyName + '=' + stored;
    inserted += newEnding;
    out.insert(insertAt, inserted);
}

} // namespace

ProfileEdit profileFileWrite(std::string_view bytes, std::wstring_view section, std::wstring_view key,
                             std::wstring_view value, std::string_view endingWhenNone) {
    ProfileEdit edit;
    edit.bytes = std::string(bytes);
    const std::string sectionName(trimBlanks(encodeUtf8(section)));
    const std::string keyName(trimBlanks(encodeUtf8(key)));
    edit.error = refusalOf(section, key, value, keyName);
    if (!edit.error.empty()) {
        edit.ok = false;
        return edit;
    }
    const std::optional<std::wstring> current = profileFileRead(bytes, section, key);
    if (current && *current == value) return edit;

    const std::string stored = storedForm(encodeUtf8(value));
    const std::string_view ending = fileLineEnding(bytes, endingWhenNone);
    const SectionSpan span = findSection(bytes, sectionName);
    edit.changed = true;
    if (span.found)
        writeIntoSection(edit.bytes, bytes, span, keyName, stored, ending);
    else
        appendSection(edit.bytes, bytes, sectionName, keyName + '=' + stored, ending);
    return edit;
}

} // namespace procguard
