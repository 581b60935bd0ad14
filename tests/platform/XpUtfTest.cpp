#include <gtest/gtest.h>

#include <string>

#include "platform/shared/XpUtf.h"

namespace {
using Wide = std::basic_string<XpChar>;

std::string Utf8(const Wide& text)
{
    return XpUtf16ToUtf8(text.data(), text.size());
}

Wide Utf16(const std::string& text)
{
    return XpUtf8ToUtf16(text.data(), text.size());
}

const std::string kFffd = "\xEF\xBF\xBD";
}  // namespace

TEST(XpUtf, WellFormedTextRoundTripsByCodePoint)
{
    // a, e acute, U+1F600 (a surrogate pair), b: one, two and four bytes.
    const Wide text = {'a', ' ', 0xE9, ' ', 0xD83D, 0xDE00, ' ', 'b'};
    const std::string bytes = "a \xC3\xA9 \xF0\x9F\x98\x80 b";
    EXPECT_EQ(Utf8(text), bytes);
    EXPECT_EQ(Utf16(bytes), text);

    // The edges of each sequence length, and the first and last code points beyond 16 bits.
    const Wide edges = {0x7F, 0x80, 0x7FF, 0x800, 0xD7FF, 0xE000, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF};
    const std::string edgeBytes =
        "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    EXPECT_EQ(Utf8(edges), edgeBytes);
    EXPECT_EQ(Utf16(edgeBytes), edges);
    EXPECT_EQ(Utf16(std::string("a\0b", 3)), (Wide{'a', 0, 'b'}));
}

TEST(XpUtf, UnpairedSurrogatesBecomeTheReplacementCharacter)
{
    // A low half first, a high half before a non-surrogate, and a high half at the very end.
    EXPECT_EQ(Utf8(Wide{0xDE00, 'x', 0xD83D, 'y', 0xD83D}), kFffd + "x" + kFffd + "y" + kFffd);
    // Two high halves: the first is unpaired, the second pairs with what follows.
    EXPECT_EQ(Utf8(Wide{0xD83D, 0xD83D, 0xDE00}), kFffd + "\xF0\x9F\x98\x80");
    // A pair cut by the length given is two halves, not a character read beyond it.
    const XpChar pair[] = {0xD83D, 0xDE00};
    char32_t codePoint = 0;
    EXPECT_EQ(XpUtf16Decode(pair, 1, &codePoint), 1u);
    EXPECT_EQ(codePoint, kXpReplacementCharacter);
    EXPECT_EQ(XpUtf16Decode(pair, 2, &codePoint), 2u);
    EXPECT_EQ(codePoint, char32_t{0x1F600});
}

TEST(XpUtf, IllFormedUtf8GivesOneReplacementPerMaximalBadPart)
{
    // A stray continuation byte and an invalid byte; a truncated three-byte sequence (one
    // U+FFFD for both of its bytes); an overlong form, an encoded surrogate and a code
    // point beyond U+10FFFF, refused at their first bad byte.
    EXPECT_EQ(Utf16("\x80"
                    "a\xFF"
                    "b\xE4\xB8"
                    "c\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80"),
              (Wide{0xFFFD, 'a', 0xFFFD, 'b', 0xFFFD, 'c', 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD,
                    0xFFFD, 0xFFFD}));
    // A sequence cut by the end of the input.
    EXPECT_EQ(Utf16("a\xF0\x9F\x98"), (Wide{'a', 0xFFFD}));
    EXPECT_EQ(XpUtf8SequenceLength('a'), 1);
    EXPECT_EQ(XpUtf8SequenceLength(0xC1), 1);
    EXPECT_EQ(XpUtf8SequenceLength(0xC2), 2);
    EXPECT_EQ(XpUtf8SequenceLength(0xEF), 3);
    EXPECT_EQ(XpUtf8SequenceLength(0xF4), 4);
    EXPECT_EQ(XpUtf8SequenceLength(0xF5), 1);
}

TEST(XpUtf, EncodersReplaceWhatIsNoCharacter)
{
    char bytes[4];
    XpChar units[2];
    for (const char32_t bad : {char32_t{0xD800}, char32_t{0xDFFF}, char32_t{0x110000}}) {
        EXPECT_EQ(std::string(bytes, XpUtf8Encode(bad, bytes)), kFffd);
        ASSERT_EQ(XpUtf16Encode(bad, units), 1u);
        EXPECT_EQ(units[0], 0xFFFD);
    }
}
