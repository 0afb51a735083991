// Reading and editing one key of a profile (INI) file held as bytes.
//
// The rules follow the Windows profile functions where a file written on one
// system is read on the other:
//  - a line "[name]" opens a section (the name runs to the last ']' of the
//    line); the lines before the first header form the section "";
//  - a line "key=value" holds a key (split at the first '='); a line without
//    '=' is not a key, and a line whose first non-blank is ';' is a comment;
//  - names match without regard to ASCII letter case, after blanks and tabs
//    around them are trimmed; only the first section of a name and the first
//    key of a name in it count;
//  - a value loses its surrounding blanks and tabs, then one matching pair of
//    surrounding "..." or '...', and ends at a NUL;
//  - lines end in LF, CRLF or a lone CR; the text is UTF-8 (an optional
//    UTF-8 byte-order mark is kept; profile_encoding.h turns a file of
//    another encoding into such text and back).
//
// An edit changes only the bytes of the one key line it writes (or inserts
// one line, or a header and one line); every other byte stays as it was,
// line endings included.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace procguard {

// The value stored under section/key, unquoted, up to a NUL if it holds one;
// nullopt when the section or the key is missing. An empty value is returned
// as an empty text: telling it from a missing key is the caller's business.
std::optional<std::wstring> profileFileRead(std::string_view bytes, std::wstring_view section, std::wstring_view key);

// Where the first section of each name lies, for many reads of one file:
// folded name -> [begin, end) of its body.
struct ProfileIndex {
    std::unordered_map<std::string, std::pair<std::size_t, std::size_t>> sections;
};

ProfileIndex indexProfileFile(std::string_view bytes);

// Whether the file that `index` was made from has a section of that name.
bool profileFileHasSection(const ProfileIndex& index, std::wstring_view section);

// profileFileRead with the sections looked up in `index`, made from `bytes`.
std::optional<std::wstring> profileFileRead(std::string_view bytes, const ProfileIndex& index,
                                            std::wstring_view section, std::wstring_view key);

struct ProfileEdit {
    bool ok = true;       // false: the write was refused, `error` says why
    bool changed = false; // false: the key already reads back as the value
    std::string bytes;    // the new file content (the old one when unchanged)
    std::wstring error;
};

// Stores `value` under section/key. The key line is replaced in place when
// the key exists; a new key goes after the last key of its section (right
// after the header when it has none); a new section goes at the end of the
// file. New lines take the line ending of their neighbour, or the file's
// first one; in a file without any, `endingWhenNone`.
//
// A value is quoted when its outer blanks or quotes would otherwise be lost,
// so every value reads back exactly as written. Refused (ok == false): line
// breaks and NULs in any of the three texts, and a key with '=' or beginning
// with ';', '[' or U+FEFF, which could not be found again.
ProfileEdit profileFileWrite(std::string_view bytes, std::wstring_view section, std::wstring_view key,
                             std::wstring_view value, std::string_view endingWhenNone = "\n");

} // namespace procguard
