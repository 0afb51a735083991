// Replays the recorded behaviour of the Windows profile functions
// (tests/data/profile.tsv, one call per row) against the Linux profile files.
// Rows where Linux differs on purpose are skipped with the reason.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

#include "config/profile.h"
#include "posix/process_support.h"

namespace procguard {
namespace {

namespace fs = std::filesystem;

const char* const kLists = "lists of names and NULL deletes are not part of our interface";
const char* const kBuffer = "a buffer size the program never uses (reads always allow 2047 characters)";
const char* const kDefault =
    "the caller's default comes back unchanged; the program's defaults hold no blanks or quotes";
const char* const kSemicolon = "lines starting with ';' are comments here, never keys";
const char* const kQuoting = "values that would lose outer blanks or quotes are quoted, so they read back as written";
const char* const kAnsi = "files are UTF-8 here, not the ANSI code page";
const char* const kUtf16Be = "UTF-16BE files are refused here";
const char* const kRewrite = "Wine rewrites the whole file; here only the edited line changes";
const char* const kRefused = "keys with '=' or ';' and values with line breaks are refused here";

// Rows not replayed, by id.
const std::map<std::string, const char*> kSkipped = {
    {"env", "code page information, no call"},
    {"relative.write", "a bare name goes to the current directory here (tested on its own)"},
    {"default.trailing_blanks", kDefault},
    {"default.quoted", kDefault},
    {"cmt.semi_full", kSemicolon},
    {"cmt.indented", kSemicolon},
    {"cmt.write_semi", kSemicolon},
    {"odd.semicolon_key_read", kSemicolon},
    {"odd.semicolon_key", kRefused},
    {"odd.newline_in_value", kRefused},
    {"eq.write_key", kRefused},
    {"quotes.write_dq", kQuoting},
    {"quotes.write_sq", kQuoting},
    {"quotes.write_only", kQuoting},
    {"blanks.write_padded", kQuoting},
    {"blanks.write_tabs", kQuoting},
    {"ansi.get", kAnsi},
    {"nonascii.write", kAnsi},
    {"nonascii.read", kAnsi},
    {"nonascii.write_names", kAnsi},
    {"nonascii.read_names", kAnsi},
    {"utf8.nobom_get", kAnsi},
    {"utf8.nobom_write", kAnsi},
    {"case.nonascii_exact", kAnsi},
};

// WRITE rows whose outcome is checked but whose resulting bytes differ.
const std::map<std::string, const char*> kOtherBytes = {
    {"preserve.newkey", kRewrite},     {"preserve.replace", kRewrite},     {"preserve.replace_spaced", kRewrite},
    {"preserve.newsection", kRewrite}, {"preserve.unknown", kRewrite},     {"hdr.write_main", kRewrite},
    {"noeq.write_justword", kRewrite}, {"noeq.write_new", kRewrite},       {"cmt.write", kRewrite},
    {"eol.lf_write_new", kRewrite},    {"eol.lf_write_replace", kRewrite}, {"eol.mixed_write", kRewrite},
    {"odd.mask_value", kSemicolon},
};

// Escaped text of the table: \r \n \t \\ \xHH \uXXXX \0, runs as {unit*N}.
std::wstring unescape(const std::string& text) {
    std::wstring out;
    auto unit = [&text](std::size_t& i) -> wchar_t {
        if (text[i] != '\\' || i + 1 >= text.size()) return static_cast<unsigned char>(text[i++]);
        const char kind = text[i + 1];
        i += 2;
        switch (kind) {
        case 'r': return L'\r';
        case 'n': return L'\n';
        case 't': return L'\t';
        case '0': return L'\0';
        case 'x': i += 2; return static_cast<wchar_t>(std::stoul(text.substr(i - 2, 2), nullptr, 16));
        case 'u': i += 4; return static_cast<wchar_t>(std::stoul(text.substr(i - 4, 4), nullptr, 16));
        default: return static_cast<unsigned char>(kind);
        }
    };
    for (std::size_t i = 0; i < text.size();) {
        if (text[i] == '{') {
            std::size_t j = i + 1;
            const wchar_t c = unit(j);
            const std::size_t close = text.find('}', j);
            if (j < text.size() && text[j] == '*' && close != std::string::npos) {
                out.append(std::stoul(text.substr(j + 1, close - j - 1)), c);
                i = close + 1;
                continue;
            }
        }
        out += unit(i);
    }
    return out;
}

std::string bytesOf(const std::wstring& units) {
    return std::string(units.begin(), units.end()); // every unit of a byte field is one byte
}

// A quoted string of the table, with the long form "[len=N] {c*60}...{c*20}"
// of a run of one character expanded back.
std::wstring quoted(const std::string& field) {
    const std::string inner = field.substr(1, field.size() - 2);
    if (inner.rfind("[len=", 0) == 0) {
        const std::size_t length = std::stoul(inner.substr(5));
        const std::wstring head =
            unescape(inner.substr(inner.find("] ") + 2, inner.find("...") - inner.find("] ") - 2));
        return std::wstring(length, head.at(0));
    }
    return unescape(inner);
}

struct Row {
    std::string id, op, section, key, before, args, ret, result, after;
};

std::vector<Row> loadRows() {
    std::ifstream file(std::string(PROCGUARD_SOURCE_DIR) + "/tests/data/profile.tsv");
    std::vector<Row> rows;
    std::string line;
    std::getline(file, line); // header
    while (std::getline(file, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
        f.resize(12);
        rows.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8]});
    }
    return rows;
}

// The value of `name="..."` in the args column; quotes inside are not escaped.
std::string argument(const std::string& args, const std::string& name, const std::string& next) {
    const std::size_t from = args.find(name + "=");
    if (from == std::string::npos) return "";
    const std::size_t start = from + name.size() + 1;
    const std::size_t end = next.empty() ? args.size() : args.rfind(" " + next + "=");
    return args.substr(start, end - start);
}

// Why a row is not replayed, or nullptr.
const char* skipReason(const Row& row) {
    if (const auto listed = kSkipped.find(row.id); listed != kSkipped.end()) return listed->second;
    if (row.section == "<NULL>" || row.key == "<NULL>" || row.args.find("=<NULL>") != std::string::npos) return kLists;
    if (row.id.rfind("utf16.be_", 0) == 0) return kUtf16Be;
    const std::string size = argument(row.args, "size", "");
    if (row.op == "GET" && size != "256" && size != "2048") return kBuffer;
    return nullptr;
}

class ProfileOracle : public testing::Test {
protected:
    std::string pathFor(const Row& row) {
        if (row.id == "missing.dir_get" || row.id == "badpath.missing_dir") return folder.path + "/no_such_dir/x.ini";
        if (row.id.rfind("badpath.is_directory", 0) == 0 || row.id == "badpath.trailing_backslash") {
            fs::create_directories(folder.path + "/adir");
            return folder.path + "/adir" + (row.id == "badpath.trailing_backslash" ? "/" : "");
        }
        if (row.id.rfind("badpath.double_backslash", 0) == 0) return folder.path + "//dblslash.ini";
        const std::string path = folder.path + "/" + row.id + ".ini";
        fs::remove(path);
        if (row.before != "<absent>") std::ofstream(path, std::ios::binary) << bytesOf(unescape(row.before));
        return path;
    }

    void replay(const Row& row) {
        const std::string path = pathFor(row);
        const std::wstring wpath = test::widen(path);
        const std::wstring section = quoted(row.section), key = quoted(row.key);
        if (row.op == "GET") {
            const std::wstring fallback = quoted(argument(row.args, "default", "size"));
            // No text copied (ret 0) is what the layer turns into the default.
            const std::wstring expected = row.ret == "0" ? fallback : quoted(row.result);
            EXPECT_EQ(readProfileString(section, key, wpath, fallback), expected);
            return;
        }
        const std::wstring value = quoted(argument(row.args, "value", ""));
        const Result written = writeProfileString(section, key, wpath, value);
        ASSERT_EQ(written.ok, row.ret == "1") << std::string(written.error.begin(), written.error.end());
        if (!written.ok) return;
        EXPECT_EQ(readProfileString(section, key, wpath, L"\x01"), value.empty() ? L"\x01" : value.substr(0, 2047));
        if (kOtherBytes.count(row.id) != 0) return;
        std::string expected = bytesOf(unescape(row.after));
        if (row.before == "<absent>" || row.before.empty()) { // a new or empty file gets LF endings here
            for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;) expected.erase(at, 1);
        }
        EXPECT_EQ(test::readFile(path), expected);
    }

    test::TempFolder folder;
};

TEST_F(ProfileOracle, RecordedCallsGiveTheSameResults) {
    ASSERT_FALSE(folder.path.empty());
    const std::vector<Row> rows = loadRows();
    ASSERT_GT(rows.size(), 200u) << "the table was not found";
    int replayed = 0;
    std::map<std::string, int> skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        if (const char* reason = skipReason(row)) {
            ++skipped[reason];
            continue;
        }
        replay(row);
        ++replayed;
    }
    for (const auto& [reason, count] : skipped) std::cout << "skipped " << count << ": " << reason << "\n";
    RecordProperty("replayed", replayed);
    EXPECT_GE(replayed, 140);
}

} // namespace
} // namespace procguard
