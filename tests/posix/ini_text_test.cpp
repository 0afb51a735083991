// Reading and editing profile text held in memory.
#include <gtest/gtest.h>

#include <random>

#include "platform/posix/ini_text.h"
#include "posix/ini_text_check.h"

namespace procguard {
namespace {

using namespace std::string_literals;

std::optional<std::wstring> read(std::string_view bytes, const wchar_t* section, const wchar_t* key) {
    return profileFileRead(bytes, section, key);
}

// The new bytes of a write that must be accepted and change the file.
std::string written(std::string_view bytes, const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    const ProfileEdit edit = profileFileWrite(bytes, section, key, value);
    EXPECT_TRUE(edit.ok) << std::string(edit.error.begin(), edit.error.end());
    EXPECT_TRUE(edit.changed);
    return edit.bytes;
}

TEST(ProfileTextRead, NamesMatchIgnoringAsciiCaseAndOuterBlanks) {
    const std::string file = "[ Main ]\r\n  Key\t=\t value one \t\r\n";
    EXPECT_EQ(read(file, L"MAIN", L"kEY"), L"value one");
    EXPECT_EQ(read(file, L"  main\t", L" key "), L"value one");
    EXPECT_EQ(read(file, L"ma in", L"key"), std::nullopt);
    // Letters outside ASCII are compared exactly.
    const std::string german = "[\xC3\x84rger]\n\xC3\x96l=1\n";
    EXPECT_EQ(read(german, L"\u00C4rger", L"\u00D6l"), L"1");
    EXPECT_EQ(read(german, L"\u00E4rger", L"\u00F6l"), std::nullopt);
}

TEST(ProfileTextRead, OneMatchingPairOfQuotesIsStripped) {
    const std::string file =
        "[q]\nq1=\"x\"\nq2='x'\nq3=\"x\nq4=\"x'\nq5=\"\"\nq6=  \" x \"  \nq7=\"\"\"\nq8=\"a\" \"b\"\nq9=\"\n";
    EXPECT_EQ(read(file, L"q", L"q1"), L"x");
    EXPECT_EQ(read(file, L"q", L"q2"), L"x");
    EXPECT_EQ(read(file, L"q", L"q3"), L"\"x");
    EXPECT_EQ(read(file, L"q", L"q4"), L"\"x'");
    EXPECT_EQ(read(file, L"q", L"q5"), L"");
    EXPECT_EQ(read(file, L"q", L"q6"), L" x ");
    EXPECT_EQ(read(file, L"q", L"q7"), L"\"");
    EXPECT_EQ(read(file, L"q", L"q8"), L"a\" \"b");
    EXPECT_EQ(read(file, L"q", L"q9"), L"\"");
}

TEST(ProfileTextRead, FirstSectionAndFirstKeyWin) {
    const std::string file = "[main]\na=1\na=2\n[other]\nb=0\n[main]\na=3\nb=4\n[MAIN]\nc=5\n";
    EXPECT_EQ(read(file, L"main", L"a"), L"1");
    EXPECT_EQ(read(file, L"main", L"b"), std::nullopt);
    EXPECT_EQ(read(file, L"main", L"c"), std::nullopt);
    EXPECT_EQ(read(file, L"other", L"b"), L"0");
}

TEST(ProfileTextRead, OnlyKeyLinesHoldValues) {
    const std::string file =
        "top=0\n[main]\njustword\n;semi=1\n  ;indented=2\n#hash=3\nk=v ; not a comment\n=empty key\n"
        "[noclose\nafter=4\n[a]b] junk\nx=a=b\n";
    EXPECT_EQ(read(file, L"", L"top"), L"0") << "keys before any header form the section \"\"";
    EXPECT_EQ(read(file, L"main", L"justword"), std::nullopt);
    EXPECT_EQ(read(file, L"main", L";semi"), std::nullopt);
    EXPECT_EQ(read(file, L"main", L";indented"), std::nullopt);
    EXPECT_EQ(read(file, L"main", L"#hash"), L"3");
    EXPECT_EQ(read(file, L"main", L"k"), L"v ; not a comment");
    EXPECT_EQ(read(file, L"main", L""), L"empty key");
    EXPECT_EQ(read(file, L"main", L"after"), L"4") << "'[noclose' is no header";
    EXPECT_EQ(read(file, L"a]b", L"x"), L"a=b") << "a header name runs to the last ']'";
}

TEST(ProfileTextRead, LineEndingsAndEncoding) {
    EXPECT_EQ(read("[m]\rk=v\rk2=w", L"m", L"k2"), L"w");
    EXPECT_EQ(read("[m]\r\nk=v\nk2=w\r\n", L"m", L"k2"), L"w");
    EXPECT_EQ(read("\xEF\xBB\xBF[m]\nk=h\xC3\xA9 \xE2\x82\xAC\n", L"m", L"k"), L"h\u00E9 \u20AC");
    // A byte that is not UTF-8 comes back as its escape and is written back as the same byte.
    EXPECT_EQ(read("[m]\nk=caf\xE9\n", L"m", L"k"), L"caf\xDCE9");
    EXPECT_EQ(read("", L"m", L"k"), std::nullopt);
    EXPECT_EQ(read("[m]\nk=/bin/app\0junk\n"s, L"m", L"k"), L"/bin/app") << "a NUL ends the value";
}

TEST(ProfileTextWrite, NewFileUsesLfAndNoBlankLines) {
    std::string file = written("", L"main", L"processName", L"/opt/render");
    file = written(file, L"finishCondition", L"type", L"1");
    file = written(file, L"main", L"variables", L"2");
    file = written(file, L"variable0", L"data", L"");
    EXPECT_EQ(file, "[main]\nprocessName=/opt/render\nvariables=2\n[finishCondition]\ntype=1\n[variable0]\ndata=\n");
}

TEST(ProfileTextWrite, EditsKeepEveryOtherByte) {
    const std::string file =
        "; settings\r\n\r\n[Main]\r\n; target\r\n  Key  =  old  \r\nnoequals line\r\n\r\n[tail]\nt=1";
    EXPECT_EQ(written(file, L"main", L"key", L"new"),
              "; settings\r\n\r\n[Main]\r\n; target\r\n  Key  =  new\r\nnoequals line\r\n\r\n[tail]\nt=1");
    EXPECT_EQ(written(file, L"main", L"added", L"x"),
              "; settings\r\n\r\n[Main]\r\n; target\r\n  Key  =  old  \r\nadded=x\r\nnoequals line\r\n\r\n[tail]\nt=1");
    // The last line had no ending: it gets the file's first one, as do the new lines.
    EXPECT_EQ(written(file, L"tail", L"u", L"2"),
              "; settings\r\n\r\n[Main]\r\n; target\r\n  Key  =  old  \r\nnoequals line\r\n\r\n[tail]\nt=1\r\nu=2\r\n");
    EXPECT_EQ(written(file, L"new", L"k", L"v"), file + "\r\n[new]\r\nk=v\r\n");
    EXPECT_EQ(written("[s]\n", L"s", L"k", L"v"), "[s]\nk=v\n") << "a section without keys";
    EXPECT_EQ(written("; c\n[s]\n", L"", L"k", L"v"), "k=v\n; c\n[s]\n") << "section \"\" starts the file";
    EXPECT_EQ(written("\xEF\xBB\xBF[s]\nk=v\n", L"s", L"k", L""), "\xEF\xBB\xBF[s]\nk=\n");
}

TEST(ProfileTextWrite, DuplicatesEditTheFirstSectionAndKey) {
    const std::string file = "[main]\na=1\na=2\n[other]\nx=1\n[main]\nb=4\n";
    EXPECT_EQ(written(file, L"MAIN", L"A", L"new"), "[main]\na=new\na=2\n[other]\nx=1\n[main]\nb=4\n");
    EXPECT_EQ(written(file, L"main", L"b", L"5"), "[main]\na=1\na=2\nb=5\n[other]\nx=1\n[main]\nb=4\n");
}

TEST(ProfileTextWrite, UnchangedValueLeavesTheBytesAlone) {
    const std::string file = "[main]\r\n  k = \"v\"  \r\n";
    const ProfileEdit edit = profileFileWrite(file, L"main", L"k", L"v");
    EXPECT_TRUE(edit.ok);
    EXPECT_FALSE(edit.changed);
    EXPECT_EQ(edit.bytes, file);
}

TEST(ProfileTextWrite, ValuesThatWouldLoseTextAreQuoted) {
    for (const wchar_t* value : {L" lead", L"trail\t", L"\"quoted\"", L"'single'", L"\"\"", L"  "}) {
        const std::string file = written("", L"s", L"k", value);
        EXPECT_EQ(read(file, L"s", L"k"), value) << file;
    }
    EXPECT_EQ(written("", L"s", L"k", L"\"half"), "[s]\nk=\"half\n") << "no pair, no quotes added";
}

TEST(ProfileTextWrite, RefusesWhatCouldNotBeReadBack) {
    const std::string file = "[main]\nk=v\n";
    const struct {
        std::wstring section, key, value;
    } refused[] = {
        {L"main", L"k", L"a\r\n[inj]\r\nx=1"},
        {L"main", L"k", L"a\nb"},
        {L"main", L"k", L"a\rb"},
        {L"ma\nin", L"k", L"v"},
        {L"main", L"k\n", L"v"},
        {L"main", L"a=b", L"c"},
        {L"main", L";c", L"v"},
        {L"main", L" [x]", L"v"},
        {L"", L"\uFEFFk", L"v"},
        {L"main", L"k", L"a\0b"s},
        {L"m\0"s, L"k", L"v"},
    };
    for (const auto& r : refused) {
        const ProfileEdit edit = profileFileWrite(file, r.section, r.key, r.value);
        EXPECT_FALSE(edit.ok);
        EXPECT_FALSE(edit.error.empty());
        EXPECT_EQ(edit.bytes, file);
    }
}

// Random files built from the awkward cases above, random edits: every edit
// must read back, leave every other key alone and touch one line at most.
TEST(ProfileTextWrite, RandomEditsKeepTheirPromises) {
    const std::vector<std::string> pieces = {
        "[main]",  "[MAIN]",     "[ s ]",    "[a]b]", "[]",           "[noclose", "k=v", "K = \"q\" ",
        "k2=",     "x=a=b",      "=e",       ";k=c",  "# h",          "justword", "",    "  ",
        "\t[s]\t", "\xC3\x84=1", "\xFF\xFE", "k='",   "\xEF\xBB\xBF", "k=a\0b"s};
    const std::vector<std::string> endings = {"\n", "\r\n", "\r", ""};
    const std::vector<std::wstring> names = {L"main", L"s", L"a]b", L"", L"K", L"k2", L" k ", L"\u00C4", L"new"};
    const std::vector<std::wstring> values = {L"",       L"v",    L" v ", L"\"q\"", L"'",   L"a=b",  L"\u20AC",
                                              L"\xDCFF", L"x\ny", L"; c", L"\"",    L"[z]", L"a\0b"s};
    std::mt19937 random(20240611);
    auto pick = [&random](const auto& list) { return list[random() % list.size()]; };
    for (int round = 0; round < 3000; ++round) {
        std::string file;
        for (int n = static_cast<int>(random() % 8); n > 0; --n) file += pick(pieces) + pick(endings);
        const std::wstring section = pick(names), key = pick(names), value = pick(values);
        const std::string broken = test::checkProfileEdit(file, section, key, value);
        ASSERT_EQ(broken, "") << "file: " << file;
        // Repeated reads go through an index of the sections; it must find
        // exactly what a plain scan of the file finds.
        const ProfileIndex index = indexProfileFile(file);
        for (const std::wstring& s : names)
            for (const std::wstring& k : names)
                ASSERT_EQ(profileFileRead(file, index, s, k), profileFileRead(file, s, k)) << "file: " << file;
    }
}

} // namespace
} // namespace procguard
