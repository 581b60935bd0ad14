#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "platform/PlatformText.h"

#if !defined(_WIN32)
// The Linux conversions for a named codeset (platform/posix/PosixText.cpp), so that the
// iconv, UTF-8 and ASCII paths are all tested whatever locale the tests run in.
const char* XpPosixLocaleCodeset();
int XpPosixAnsiToWideIn(const char* codeset, const char* src, int srcLen, XpChar* dst, int dstCount);
int XpPosixWideToAnsiIn(const char* codeset, const XpChar* src, int srcLen, char* dst, int dstCount);
int XpPosixAnsiCharLengthIn(const char* codeset, unsigned char firstByte);
#endif

namespace {

using Wide = std::basic_string<XpChar>;

std::string ToAnsi(const Wide& text)
{
    const int needed = XpPlatformWideToAnsi(text.c_str(), -1, nullptr, 0);
    std::string out(static_cast<size_t>(needed), '\0');
    EXPECT_EQ(XpPlatformWideToAnsi(text.c_str(), -1, out.data(), needed), needed);
    out.pop_back();  // the terminator
    return out;
}

Wide ToWide(const std::string& text)
{
    const int needed = XpPlatformAnsiToWide(text.c_str(), -1, nullptr, 0);
    Wide out(static_cast<size_t>(needed), 0);
    EXPECT_EQ(XpPlatformAnsiToWide(text.c_str(), -1, out.data(), needed), needed);
    out.pop_back();
    return out;
}

// Whether the ANSI code page of this process is UTF-8, told by its behaviour.
bool AnsiIsUtf8()
{
    return ToWide("\xC3\xA9") == Wide(1, 0xE9);
}

}  // namespace

TEST(PlatformText, CallingConventionsOfTheWindowsCalls)
{
    const XpChar* wide = XP_T("abc");
    char narrow[8] = "zzzzzzz";
    XpChar back[8] = {};
    // -1 counts the terminator, an explicit length does not; 0 as count only measures.
    EXPECT_EQ(XpPlatformWideToAnsi(wide, -1, nullptr, 0), 4);
    EXPECT_EQ(XpPlatformWideToAnsi(wide, 3, nullptr, 0), 3);
    EXPECT_EQ(XpPlatformAnsiToWide("abc", -1, nullptr, 0), 4);
    EXPECT_EQ(XpPlatformAnsiToWide("abc", 2, nullptr, 0), 2);
    EXPECT_EQ(XpPlatformWideToAnsi(wide, -1, narrow, 4), 4);
    EXPECT_STREQ(narrow, "abc");
    EXPECT_EQ(XpPlatformWideToAnsi(wide, 2, narrow, 8), 2);
    EXPECT_EQ(std::string(narrow, 4), std::string("abc\0", 4));  // no terminator written
    EXPECT_EQ(XpPlatformAnsiToWide("xyz", -1, back, 4), 4);
    EXPECT_EQ(Wide(back), XP_T("xyz"));
    // Too small a destination fails; so do an empty or a missing source.
    EXPECT_EQ(XpPlatformWideToAnsi(wide, -1, narrow, 3), 0);
    EXPECT_EQ(XpPlatformAnsiToWide("abc", -1, back, 3), 0);
    EXPECT_EQ(XpPlatformWideToAnsi(wide, 0, narrow, 8), 0);
    EXPECT_EQ(XpPlatformAnsiToWide("abc", -2, back, 8), 4);  // any negative length: up to the terminator
    EXPECT_EQ(XpPlatformAnsiToWide(nullptr, -1, back, 8), 0);
    EXPECT_EQ(XpPlatformWideToAnsi(XP_T(""), -1, narrow, 1), 1);
    EXPECT_EQ(narrow[0], 0);
}

TEST(PlatformText, AsciiRoundTripsAndReplacements)
{
    std::string ascii;
    for (char c = 1; c < 0x7F; ++c) ascii += c;
    Wide wideAscii(ascii.begin(), ascii.end());
    EXPECT_EQ(ToAnsi(wideAscii), ascii);
    EXPECT_EQ(ToWide(ascii), wideAscii);
    // A long text, beyond any internal chunk.
    const std::string longText(100000, 'q');
    EXPECT_EQ(ToWide(longText), Wide(100000, 'q'));

    // An unpaired surrogate is no character: a code page holds it as its replacement, which
    // for UTF-8 is U+FFFD.
    const XpChar lone[] = {'a', 0xD800, 'b', 0xDC00, 0};
    EXPECT_EQ(ToAnsi(lone), AnsiIsUtf8() ? "a\xEF\xBF\xBD"
                                           "b\xEF\xBF\xBD"
                                         : "a?b?");
    if (AnsiIsUtf8()) {
        EXPECT_EQ(ToAnsi(Wide(1, 0x4E2D)), "\xE4\xB8\xAD");
        EXPECT_EQ(ToWide("a\xFF"
                         "b\xE4\xB8"),
                  (Wide{'a', 0xFFFD, 'b', 0xFFFD}));
    }
}

#if !defined(_WIN32)

TEST(PosixText, LocaleCodesetIsReadWithoutChangingTheGlobalLocale)
{
    const std::string before = std::setlocale(LC_CTYPE, nullptr);
    EXPECT_STRNE(XpPosixLocaleCodeset(), "");
    XpPlatformWideToAnsi(XP_T("x"), -1, nullptr, 0);
    EXPECT_EQ(std::setlocale(LC_CTYPE, nullptr), before);
}

namespace {
std::string AnsiIn(const char* codeset, const Wide& text)
{
    const int needed = XpPosixWideToAnsiIn(codeset, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::string out(static_cast<size_t>(needed), '\0');
    if (needed > 0) {
        EXPECT_EQ(XpPosixWideToAnsiIn(codeset, text.c_str(), static_cast<int>(text.size()), out.data(), needed),
                  needed);
    }
    return out;
}

Wide WideIn(const char* codeset, const std::string& text)
{
    const int needed = XpPosixAnsiToWideIn(codeset, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    Wide out(static_cast<size_t>(needed), 0);
    if (needed > 0) {
        EXPECT_EQ(XpPosixAnsiToWideIn(codeset, text.c_str(), static_cast<int>(text.size()), out.data(), needed),
                  needed);
    }
    return out;
}
}  // namespace

TEST(PosixText, Utf8Codeset)
{
    const Wide text = {'a', 0xE9, 0x4E2D, 0xD83D, 0xDE00};  // a, e acute, U+4E2D, U+1F600
    const std::string bytes = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
    EXPECT_EQ(AnsiIn("UTF-8", text), bytes);
    EXPECT_EQ(WideIn("utf8", bytes), text);
    EXPECT_EQ(AnsiIn("UTF-8", Wide{0xDE00, 'x', 0xD83D}), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    // Ill-formed input: each maximal bad part becomes one U+FFFD.
    EXPECT_EQ(WideIn("UTF-8",
                     "\xFF"
                     "a\xE4\xB8"
                     "b\xC0\xAF\xED\xA0\x80\xF4\x90"),
              (Wide{0xFFFD, 'a', 0xFFFD, 'b', 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}));
    EXPECT_EQ(XpPosixAnsiCharLengthIn("UTF-8", 'a'), 1);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("UTF-8", 0xC3), 2);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("UTF-8", 0xE4), 3);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("UTF-8", 0xF0), 4);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("UTF-8", 0x80), 1);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("UTF-8", 0xF5), 1);
}

TEST(PosixText, AsciiCodeset)
{
    EXPECT_EQ(AnsiIn("ANSI_X3.4-1968", Wide{'a', 0x4E2D, 0xD83D, 0xDE00, 'b'}), "a??b");
    EXPECT_EQ(WideIn("ANSI_X3.4-1968", "a\xE9"), (Wide{'a', 0xFFFD}));
    EXPECT_EQ(XpPosixAnsiCharLengthIn("ANSI_X3.4-1968", 0xE9), 1);
    // A codeset that iconv does not know is converted as ASCII.
    EXPECT_EQ(AnsiIn("NO-SUCH-CODESET", Wide{'a', 0xE9}), "a?");
}

TEST(PosixText, IconvCodesets)
{
    EXPECT_EQ(AnsiIn("ISO-8859-1", Wide{'a', 0xE9, 0x4E2D, 0xD83D, 0xDE00, 0xD800, 'z'}), "a\xE9???z");
    EXPECT_EQ(WideIn("ISO-8859-1", "a\xE9\xFF"), (Wide{'a', 0xE9, 0xFF}));
    // Beyond the converter's internal chunk, and too small a destination.
    const Wide latin(1000, 0xE9);
    EXPECT_EQ(AnsiIn("ISO-8859-1", latin), std::string(1000, '\xE9'));
    EXPECT_EQ(WideIn("ISO-8859-1", std::string(1000, '\xE9')), latin);
    char small[10];
    EXPECT_EQ(XpPosixWideToAnsiIn("ISO-8859-1", latin.c_str(), 1000, small, 10), 0);
    EXPECT_EQ(XpPosixWideToAnsiIn("ISO-8859-1", XP_T("ab"), -1, small, 10), 3);
    EXPECT_STREQ(small, "ab");

    EXPECT_EQ(AnsiIn("SHIFT_JIS", Wide{'a', 0x4E2D}), "a\x92\x86");
    EXPECT_EQ(WideIn("SHIFT_JIS",
                     "\x92\x86"
                     "b\x92"),
              (Wide{0x4E2D, 'b', 0xFFFD}));
    EXPECT_EQ(XpPosixAnsiCharLengthIn("SHIFT_JIS", 0x92), 2);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("SHIFT_JIS", 'a'), 1);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("EUC-JP", 0x8F), 3);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("GBK", 0xD6), 2);
    EXPECT_EQ(XpPosixAnsiCharLengthIn("ISO-8859-1", 0xD6), 1);
}

#endif
