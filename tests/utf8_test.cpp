// UTF-8 text as the console and the Linux file functions decode it, on both
// sizes of wchar_t.
#include "base/utf8.h"

#include <gtest/gtest.h>

namespace procguard {
namespace {

TEST(Utf8, ValidTextRoundTripsAndInvalidBytesSurviveAsEscapes) {
    const std::string valid = "a \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    EXPECT_EQ(decodeUtf8(valid), L"a \u00e9 \u20ac \U0001F600");
    EXPECT_EQ(encodeUtf8(decodeUtf8(valid)), valid);
    // Invalid leads, a lone continuation byte, an overlong form, a surrogate
    // and a sequence cut short each come back as the same bytes.
    for (const std::string bytes : {"x\xFFy", "\x80", "\xC0\xAF", "\xED\xA0\x80", "\xE2\x82", "\xF5\x80\x80\x80"}) {
        const std::wstring text = decodeUtf8(bytes);
        EXPECT_EQ(text.size(), bytes.size()) << "one escape per byte";
        EXPECT_EQ(encodeUtf8(text), bytes);
    }
    EXPECT_EQ(decodeUtf8("x\xFFy"), L"x\xDCFFy");
}

TEST(Utf8, AnIncompleteSequenceAtTheEndIsHeldBack) {
    EXPECT_EQ(incompleteUtf8Tail(""), 0u);
    EXPECT_EQ(incompleteUtf8Tail("abc"), 0u);
    EXPECT_EQ(incompleteUtf8Tail("a\xC3"), 1u);
    EXPECT_EQ(incompleteUtf8Tail("a\xC3\xA9"), 0u);
    EXPECT_EQ(incompleteUtf8Tail("\xE2\x82"), 2u);
    EXPECT_EQ(incompleteUtf8Tail("\xF0\x9F\x98"), 3u);
    EXPECT_EQ(incompleteUtf8Tail("\xF0\x9F\x98\x80"), 0u);
    EXPECT_EQ(incompleteUtf8Tail("\x80\x80"), 0u) << "stray continuation bytes are not held";
    EXPECT_EQ(incompleteUtf8Tail("\xFF"), 0u) << "a byte that cannot lead is not held";
    EXPECT_EQ(incompleteUtf8Tail("\xC1"), 0u) << "nor is the lead of an overlong form";
}

TEST(Utf8, CharactersFedOneByteAtATimeComeOutWhole) {
    const std::string bytes = "a\r\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\r\n";
    Utf8StreamDecoder decoder;
    std::wstring text;
    for (char byte : bytes) text += decodeUtf8Chunk(decoder, std::string_view(&byte, 1));
    text += finishUtf8Stream(decoder);
    EXPECT_EQ(text, L"a\r\n\u00e9\u20ac\U0001F600\r\n");

    Utf8StreamDecoder cut;
    EXPECT_EQ(decodeUtf8Chunk(cut, "x\xC3"), L"x");
    EXPECT_EQ(finishUtf8Stream(cut), L"\xDCC3") << "a sequence cut off by the end of the stream";
    EXPECT_EQ(finishUtf8Stream(cut), L"");
}

} // namespace
} // namespace procguard
