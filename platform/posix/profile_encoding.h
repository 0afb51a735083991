// The encodings of a profile file on Linux, and the UTF-8 text that the INI
// rules (ini_text.h) work on.
//
// UTF-8, with or without a byte-order mark, is the text as it stands, bytes
// that are not UTF-8 included (Linux file names are bytes). UTF-16LE with a
// byte-order mark, which the Windows build gives every file it creates, is
// turned into UTF-8 with the mark as U+FEFF and every line end kept, and
// turned back when written: valid UTF-16 and valid UTF-8 map one to one, so
// every line an edit does not touch comes back byte for byte. Every other
// encoding, and UTF-16LE that is not valid, is refused: read as UTF-8 it
// would look like a file without keys and load as defaults.
#pragma once

#include <string>
#include <string_view>

namespace procguard {

enum class ProfileEncoding { Utf8, Utf16Le };

struct ProfileText {
    ProfileEncoding encoding = ProfileEncoding::Utf8;
    std::string text;   // UTF-8 for the INI rules
    std::wstring error; // why the file can be neither read nor written; empty when it can
};

// The text of a file's bytes. An empty file is UTF-8.
ProfileText decodeProfileFile(std::string bytes);

// The bytes of `text` (decodeProfileFile's, edited) in `encoding`. False
// when it holds what the encoding cannot: bytes that are not UTF-8 have no
// UTF-16 form.
bool encodeProfileFile(ProfileEncoding encoding, std::string_view text, std::string& bytes);

// Whether wide text can be written into a file of `encoding`: text decoded
// from bytes that are not UTF-8 (base/utf8.h) has no UTF-16 form.
bool fitsEncoding(ProfileEncoding encoding, std::wstring_view text);

// "UTF-8" or "UTF-16LE", for messages.
const wchar_t* encodingName(ProfileEncoding encoding);

} // namespace procguard
