// Text through the ANSI code page, by code point: characters beyond the 16-bit range are
// surrogate pairs in memory and one character in the file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/files/XpFile.h"
#include "foundation/files/XpMemoryFile.h"

using kestrow_test::ReadChars;

namespace {

// The code pages the tests know: UTF-8 (Linux in a UTF-8 locale) and Windows-1252 (Wine's
// default). Told apart by how they read bytes.
enum class AnsiPage { Utf8, Windows1252, Other };

AnsiPage CurrentAnsiPage()
{
    if (XpNarrowString("\xC3\xA9").ToWide().Compare(XP_T("\u00E9")) == 0) return AnsiPage::Utf8;
    if (XpNarrowString("\xE9\x80").ToWide().Compare(XP_T("\u00E9\u20AC")) == 0) return AnsiPage::Windows1252;
    return AnsiPage::Other;
}

constexpr XpChar kHigh = 0xD83D;  // U+1F600 is D83D DE00, F0 9F 98 80 in UTF-8
constexpr XpChar kLow = 0xDE00;
const std::string kEmojiUtf8 = "\xF0\x9F\x98\x80";
const std::string kFffdUtf8 = "\xEF\xBF\xBD";

std::string Content(const XpMemoryFile& file)
{
    const auto* bytes = static_cast<const char*>(file.GetBuffer());
    return bytes ? std::string(bytes, static_cast<size_t>(file.GetSize())) : std::string();
}

void Fill(XpMemoryFile& file, const std::string& bytes, uint32_t flags)
{
    ASSERT_EQ(file.Write(bytes.data(), bytes.size(), nullptr), XpRc::Ok);
    ASSERT_EQ(file.Open(flags, 0), XpRc::Ok);
    ASSERT_EQ(file.Seek(0, XpSeekOrigin::Begin), XpRc::Ok);
}

}  // namespace

using XpFileTextTest = kestrow_test::TempFolderTest;

// What each target's code page can hold comes back: everything in UTF-8; in Windows-1252
// the e acute, while the emoji (no character of that page) becomes its replacement.
TEST_F(XpFileTextTest, TextRoundTripsThroughTheCodePageOfTheTarget)
{
    const AnsiPage page = CurrentAnsiPage();
    if (page == AnsiPage::Other) GTEST_SKIP() << "the ANSI code page is neither UTF-8 nor Windows-1252";
    const XpString text(XP_T("a \u00E9 \U0001F600 b"));
    XpFile file(Path("text.txt"));
    ASSERT_EQ(file.Open(XpFileFlag::Write | XpFileFlag::Text, 0), XpRc::Ok);
    ASSERT_EQ(file.WriteText(text.GetString()), XpRc::Ok);
    ASSERT_EQ(file.WriteText(XP_T("\n")), XpRc::Ok);
    ASSERT_EQ(file.Close(), XpRc::Ok);

    XpString expected = text;
    if (page == AnsiPage::Utf8) {
        EXPECT_EQ(ReadBytes("text.txt"), "a \xC3\xA9 " + kEmojiUtf8 + " b\r\n");
    } else {
        // One replacement for each half, as the system's own conversion gives a pair.
        EXPECT_EQ(ReadBytes("text.txt"), "a \xE9 ?? b\r\n");
        expected = XP_T("a \u00E9 ?? b");
    }
    ASSERT_EQ(file.Open(XpFileFlag::Read | XpFileFlag::Text, 0), XpRc::Ok);
    XpString line;
    ASSERT_EQ(file.ReadLine(line), XpRc::Ok);
    EXPECT_EQ(line, expected);
}

TEST(XpFileText, PairsAreWrittenAsOneCharacterAndHalvesAsReplacements)
{
    if (CurrentAnsiPage() != AnsiPage::Utf8) GTEST_SKIP() << "needs a code page that holds every character";
    XpMemoryFile file;
    ASSERT_EQ(file.Open(XpFileFlag::Write, 0), XpRc::Ok);
    // A pair given one half at a time.
    ASSERT_EQ(file.WriteChar(kHigh), XpRc::Ok);
    ASSERT_EQ(file.WriteChar(kLow), XpRc::Ok);
    EXPECT_EQ(Content(file), kEmojiUtf8);
    // A first half followed by no second one, a second half alone, and a first half that
    // ends the text.
    const XpChar halves[] = {'x', kHigh, 'y', kLow, 'z', kHigh, 0};
    ASSERT_EQ(file.WriteText(halves), XpRc::Ok);
    EXPECT_EQ(Content(file), kEmojiUtf8 + "x" + kFffdUtf8 + "y" + kFffdUtf8 + "z" + kFffdUtf8);
    // A first half whose position was left is not written anywhere else.
    ASSERT_EQ(file.WriteChar(kHigh), XpRc::Ok);
    ASSERT_EQ(file.Seek(0, XpSeekOrigin::Begin), XpRc::Ok);
    ASSERT_EQ(file.WriteChar(kLow), XpRc::Ok);
    EXPECT_EQ(Content(file).substr(0, 3), kFffdUtf8);
}

TEST(XpFileText, PairsAreReadWholeWhateverTheReadStopsAt)
{
    if (CurrentAnsiPage() != AnsiPage::Utf8) GTEST_SKIP() << "needs a code page that holds every character";
    // Raw reads, and a CR whose look-ahead reads the pair and puts it back.
    XpMemoryFile raw;
    Fill(raw, "a" + kEmojiUtf8 + "b\r" + kEmojiUtf8, XpFileFlag::Read | XpFileFlag::Text);
    EXPECT_EQ(ReadChars(raw), (std::vector<XpChar>{'a', kHigh, kLow, 'b', '\r', kHigh, kLow}));

    // A buffer that fills after the first half: the second comes with the next read.
    XpMemoryFile lines;
    Fill(lines, "ab" + kEmojiUtf8 + "c\n", XpFileFlag::Read | XpFileFlag::Text);
    XpChar buffer[4];
    ASSERT_EQ(lines.ReadLineToBuffer(buffer, 4), XpRc::BufferTooSmall);
    EXPECT_EQ(std::vector<XpChar>(buffer, buffer + 3), (std::vector<XpChar>{'a', 'b', kHigh}));
    ASSERT_EQ(lines.ReadLineToBuffer(buffer, 4), XpRc::Ok);
    EXPECT_EQ(std::vector<XpChar>(buffer, buffer + 3), (std::vector<XpChar>{kLow, 'c', 0}));
    // A half read and then left by a move of the position is not handed out there.
    ASSERT_EQ(lines.Seek(2, XpSeekOrigin::Begin), XpRc::Ok);
    XpChar ch = 0;
    ASSERT_EQ(lines.ReadChar(&ch), XpRc::Ok);
    EXPECT_EQ(ch, kHigh);
    ASSERT_EQ(lines.Seek(0, XpSeekOrigin::Begin), XpRc::Ok);
    ASSERT_EQ(lines.ReadChar(&ch), XpRc::Ok);
    EXPECT_EQ(ch, XP_T('a'));

    // A line longer than ReadLine's first buffers; the third (767 characters) ends inside a pair.
    std::string longLine;
    XpString expected;
    for (int i = 0; i < 300; ++i) {
        longLine += "x" + kEmojiUtf8;
        expected += XP_T("x\U0001F600");
    }
    XpMemoryFile longFile;
    Fill(longFile, longLine + "\nend", XpFileFlag::Read | XpFileFlag::Text);
    XpString line;
    ASSERT_EQ(longFile.ReadLine(line), XpRc::Ok);
    EXPECT_EQ(line, expected);
    ASSERT_EQ(longFile.ReadLine(line), XpRc::Ok);
    EXPECT_EQ(line, XpString(XP_T("end")));
}
