#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/files/XpMemoryFile.h"

using kestrow_test::ReadChars;

namespace {

std::string Content(const XpMemoryFile& file)
{
    const auto* bytes = static_cast<const char*>(file.GetBuffer());
    return bytes ? std::string(bytes, static_cast<size_t>(file.GetSize())) : std::string();
}

// A memory file holding the given bytes, read from the start with the given open flags.
void Fill(XpMemoryFile& file, const std::string& bytes, uint32_t flags = XpFileFlag::Read)
{
    ASSERT_EQ(file.Write(bytes.data(), bytes.size(), nullptr), XpRc::Ok);
    ASSERT_EQ(file.Open(flags, 0), XpRc::Ok);
    ASSERT_EQ(file.Seek(0, XpSeekOrigin::Begin), XpRc::Ok);
}

}  // namespace

TEST(XpMemoryFile, ReadsStopAtTheEnd)
{
    XpMemoryFile file;
    Fill(file, "abcdef");
    char buffer[16] = {};
    uint64_t count = 99;
    EXPECT_EQ(file.Read(buffer, 4, &count), XpRc::Ok);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(buffer, 4), "abcd");
    // Asking for more than is left is a short read, not an error.
    EXPECT_EQ(file.Read(buffer, 10, &count), XpRc::Ok);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    EXPECT_EQ(file.Read(buffer, 10, &count), XpRc::EndOfFile);
    EXPECT_EQ(count, 0u);
    // Beyond the end as well.
    ASSERT_EQ(file.Seek(100, XpSeekOrigin::End), XpRc::Ok);
    EXPECT_EQ(file.Tell(), 106);
    EXPECT_EQ(file.Read(buffer, 1, &count), XpRc::EndOfFile);
    EXPECT_EQ(count, 0u);
}

TEST(XpMemoryFile, BlockGrowsInSteps)
{
    XpMemoryFile file;
    EXPECT_EQ(file.RoundCapacity(0), 65536u);
    EXPECT_EQ(file.RoundCapacity(65535), 65536u);
    EXPECT_EQ(file.RoundCapacity(65536), 131072u);

    const std::string ten(10, 'x');
    uint64_t count = 0;
    ASSERT_EQ(file.Write(ten.data(), ten.size(), &count), XpRc::Ok);
    EXPECT_EQ(count, 10u);
    EXPECT_EQ(file.GetCapacity(), 65536u);
    EXPECT_EQ(file.GetOwnership(), XpMemoryBlock::Owned);

    std::vector<char> more(65527, 'y');  // 10 + 65527 = 65537 bytes needed
    ASSERT_EQ(file.Write(more.data(), more.size(), &count), XpRc::Ok);
    EXPECT_EQ(file.GetCapacity(), 131072u);
    EXPECT_EQ(file.GetSize(), 65537);
    const std::string content = Content(file);
    EXPECT_EQ(content.substr(0, 10), ten);
    EXPECT_EQ(content.back(), 'y');
}

TEST(XpMemoryFile, OpenForWritingEmptiesTheContent)
{
    XpMemoryFile file;
    Fill(file, "some data");
    ASSERT_EQ(file.Open(XpFileFlag::Read, 0), XpRc::Ok);
    EXPECT_EQ(file.GetSize(), 9);
    ASSERT_EQ(file.Open(XpFileFlag::Read | XpFileFlag::Write, 0), XpRc::Ok);
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_EQ(file.Tell(), 0);
    // A fresh file has no block to cut; opening it for writing still succeeds.
    XpMemoryFile fresh;
    EXPECT_EQ(fresh.Open(XpFileFlag::Write, 0), XpRc::Ok);
    EXPECT_EQ(fresh.SetLength(0), XpRc::NotOpen);
}

TEST(XpMemoryFile, DetachReturnsOnlyTheCallersBlock)
{
    char block[] = "attached";
    XpMemoryFile file;
    file.Attach(block, 8, false);
    EXPECT_EQ(file.GetSize(), 8);
    EXPECT_EQ(file.GetOwnership(), XpMemoryBlock::Attached);
    EXPECT_EQ(file.Detach(), static_cast<void*>(block));
    EXPECT_EQ(file.GetSize(), 0);
    EXPECT_EQ(file.GetBuffer(), nullptr);
    EXPECT_EQ(file.GetOwnership(), XpMemoryBlock::None);

    // A block the file allocated itself is freed (the sanitizer build sees a leak or a
    // double free otherwise).
    ASSERT_EQ(file.Write("abc", 3, nullptr), XpRc::Ok);
    EXPECT_EQ(file.Detach(), nullptr);
    EXPECT_EQ(file.GetSize(), 0);

    // So is an owned block handed over by the caller.
    void* owned = std::malloc(4);
    std::memcpy(owned, "abcd", 4);
    file.Attach(owned, 4, true);
    EXPECT_EQ(Content(file), "abcd");
    EXPECT_EQ(file.Detach(), nullptr);
}

TEST(XpMemoryFile, AttachKeepsThePositionAndReadsTheBlock)
{
    char block[] = "0123456789";
    XpMemoryFile file;
    ASSERT_EQ(file.Seek(4, XpSeekOrigin::Begin), XpRc::Ok);
    file.Attach(block, 10, false);
    char buffer[4] = {};
    uint64_t count = 0;
    ASSERT_EQ(file.Read(buffer, 3, &count), XpRc::Ok);
    EXPECT_EQ(std::string(buffer, 3), "456");
    // Writing within the block changes the caller's bytes in place.
    ASSERT_EQ(file.Write("xy", 2, nullptr), XpRc::Ok);
    EXPECT_EQ(std::string(block), "0123456xy9");
    EXPECT_EQ(file.Detach(), static_cast<void*>(block));
}

TEST(XpMemoryFile, CallersBlockIsNeverReallocated)
{
    // A block on the stack: reallocating or freeing it would crash or be caught by the
    // sanitizers.
    char block[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
    XpMemoryFile file;
    file.Attach(block, sizeof block, false);
    ASSERT_EQ(file.Seek(0, XpSeekOrigin::End), XpRc::Ok);
    ASSERT_EQ(file.Write("ijk", 3, nullptr), XpRc::Ok);
    EXPECT_EQ(Content(file), "abcdefghijk");
    EXPECT_EQ(file.GetOwnership(), XpMemoryBlock::Owned);
    EXPECT_NE(file.GetBuffer(), static_cast<void*>(block));
    EXPECT_EQ(std::string(block, 8), "abcdefgh");

    char other[4] = {'w', 'x', 'y', 'z'};
    XpMemoryFile cut;
    cut.Attach(other, sizeof other, false);
    ASSERT_EQ(cut.SetLength(2), XpRc::Ok);
    EXPECT_EQ(cut.GetBuffer(), static_cast<void*>(other));
    ASSERT_EQ(cut.SetLength(6), XpRc::Ok);
    EXPECT_NE(cut.GetBuffer(), static_cast<void*>(other));
    EXPECT_EQ(Content(cut), std::string("wx\0\0\0\0", 6));
}

TEST(XpMemoryFile, SetLengthFillsWithZerosAndMovesThePosition)
{
    XpMemoryFile file;
    Fill(file, "abcdef");
    ASSERT_EQ(file.Seek(0, XpSeekOrigin::End), XpRc::Ok);
    ASSERT_EQ(file.SetLength(3), XpRc::Ok);
    EXPECT_EQ(file.Tell(), 3);
    EXPECT_EQ(Content(file), "abc");
    // The bytes cut off must not come back when the content grows again.
    ASSERT_EQ(file.SetLength(6), XpRc::Ok);
    EXPECT_EQ(Content(file), std::string("abc\0\0\0", 6));
    EXPECT_EQ(file.Tell(), 3);
    ASSERT_EQ(file.SetLength(200000), XpRc::Ok);
    // The next multiple of 64 KiB above the length: 4 × 65536.
    EXPECT_EQ(file.GetCapacity(), 262144u);
    const std::string content = Content(file);
    EXPECT_EQ(content.find_first_not_of('\0', 3), std::string::npos);
}

TEST(XpMemoryFile, WriteBeyondTheEndFillsTheGapWithZeros)
{
    XpMemoryFile file;
    Fill(file, "ab");
    ASSERT_EQ(file.SetLength(1), XpRc::Ok);  // leaves a stale 'b' in the block
    ASSERT_EQ(file.Seek(4, XpSeekOrigin::Begin), XpRc::Ok);
    ASSERT_EQ(file.Write("z", 1, nullptr), XpRc::Ok);
    EXPECT_EQ(Content(file), std::string("a\0\0\0z", 5));
}

TEST(XpMemoryFile, ImpossiblePositionsFailWithoutChangingAnything)
{
    XpMemoryFile file;
    Fill(file, "data");
    const void* block = file.GetBuffer();
    uint64_t count = 7;

    // Far beyond anything a block can hold.
    ASSERT_EQ(file.Seek(int64_t{1} << 48, XpSeekOrigin::Begin), XpRc::Ok);
    EXPECT_EQ(file.Write("x", 1, &count), XpRc::DiskFull);
    EXPECT_EQ(count, 0u);
    // Position plus count wraps around.
    ASSERT_EQ(file.Seek(2, XpSeekOrigin::Begin), XpRc::Ok);
    EXPECT_EQ(file.Write("x", UINT64_MAX, &count), XpRc::DiskFull);
    ASSERT_EQ(file.Seek(INT64_MAX, XpSeekOrigin::Begin), XpRc::Ok);
    EXPECT_EQ(file.Write("x", 1, &count), XpRc::DiskFull);
    EXPECT_EQ(file.SetLength(uint64_t{1} << 48), XpRc::OutOfMemory);

    // Moves before the start or past the largest position are refused and leave the
    // position where it was.
    EXPECT_EQ(file.Seek(1, XpSeekOrigin::Current), XpRc::InvalidArgument);
    EXPECT_EQ(file.Tell(), INT64_MAX);
    ASSERT_EQ(file.Seek(1, XpSeekOrigin::Begin), XpRc::Ok);
    EXPECT_EQ(file.Seek(-2, XpSeekOrigin::Current), XpRc::InvalidArgument);
    EXPECT_EQ(file.Seek(-5, XpSeekOrigin::End), XpRc::InvalidArgument);
    EXPECT_EQ(file.Tell(), 1);

    EXPECT_EQ(file.GetBuffer(), block);
    EXPECT_EQ(Content(file), "data");
}

TEST(XpMemoryFile, TypedValuesFollowTheByteOrder)
{
    XpMemoryFile file;
    // No order chosen yet: big-endian.
    ASSERT_EQ(file.WriteUInt32(0x11223344, XpByteOrder::Keep), XpRc::Ok);
    ASSERT_EQ(file.WriteUInt32(0x11223344, XpByteOrder::LittleEndian), XpRc::Ok);
    ASSERT_EQ(file.WriteUInt16(0xA1B2, XpByteOrder::Keep), XpRc::Ok);  // stays little-endian
    ASSERT_EQ(file.WriteInt64(-2, XpByteOrder::BigEndian), XpRc::Ok);
    ASSERT_EQ(file.WriteUInt8(0x7F), XpRc::Ok);
    EXPECT_EQ(file.WriteUInt32(1, 4), XpRc::Failure);
    EXPECT_EQ(Content(file), std::string("\x11\x22\x33\x44"
                                         "\x44\x33\x22\x11"
                                         "\xB2\xA1"
                                         "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFE"
                                         "\x7F",
                                         19));

    ASSERT_EQ(file.Seek(0, XpSeekOrigin::Begin), XpRc::Ok);
    uint32_t u32 = 0;
    int64_t i64 = 0;
    uint16_t u16 = 0;
    uint8_t u8 = 0;
    EXPECT_EQ(file.ReadUInt32(&u32, XpByteOrder::BigEndian), XpRc::Ok);
    EXPECT_EQ(u32, 0x11223344u);
    EXPECT_EQ(file.ReadUInt32(&u32, XpByteOrder::LittleEndian), XpRc::Ok);
    EXPECT_EQ(u32, 0x11223344u);
    EXPECT_EQ(file.ReadUInt16(&u16, XpByteOrder::Keep), XpRc::Ok);
    EXPECT_EQ(u16, 0xA1B2u);
    EXPECT_EQ(file.ReadInt64(&i64, XpByteOrder::BigEndian), XpRc::Ok);
    EXPECT_EQ(i64, -2);
    EXPECT_EQ(file.ReadUInt8(&u8), XpRc::Ok);
    EXPECT_EQ(u8, 0x7Fu);
    // A value cut off by the end is not a value: the out stays as it was.
    ASSERT_EQ(file.Seek(-1, XpSeekOrigin::End), XpRc::Ok);
    u32 = 5;
    EXPECT_EQ(file.ReadUInt32(&u32, XpByteOrder::Keep), XpRc::EndOfFile);
    EXPECT_EQ(u32, 5u);
}

TEST(XpMemoryFile, TextModeTranslatesLineEnds)
{
    XpMemoryFile text;
    Fill(text, "A\r\nB\rX\r", XpFileFlag::Read | XpFileFlag::Text);
    // CR LF reads as LF, a lone CR stays with the character after it, and a CR that ends
    // the content is kept.
    EXPECT_EQ(ReadChars(text), (std::vector<XpChar>{'A', '\n', 'B', '\r', 'X', '\r'}));

    XpMemoryFile binary;
    Fill(binary, "A\r\nB");
    EXPECT_EQ(ReadChars(binary), (std::vector<XpChar>{'A', '\r', '\n', 'B'}));

    XpMemoryFile written;
    ASSERT_EQ(written.Open(XpFileFlag::Write | XpFileFlag::Text, 0), XpRc::Ok);
    ASSERT_EQ(written.WriteText(XP_T("A\nB")), XpRc::Ok);
    EXPECT_EQ(Content(written), "A\r\nB");
    EXPECT_EQ(written.WriteText(nullptr), XpRc::InvalidArgument);
}

TEST(XpMemoryFile, ReadLineToBufferReportsAFullBuffer)
{
    XpMemoryFile file;
    Fill(file, "abcdef\nxy\n\nlast", XpFileFlag::Read | XpFileFlag::Text);
    XpChar buffer[8];
    EXPECT_EQ(file.ReadLineToBuffer(buffer, 1), XpRc::InvalidArgument);
    EXPECT_EQ(file.ReadLineToBuffer(nullptr, 8), XpRc::InvalidArgument);
    // Three characters and the terminator fill a buffer of 4: the rest stays unread.
    EXPECT_EQ(file.ReadLineToBuffer(buffer, 4), XpRc::BufferTooSmall);
    EXPECT_EQ(XpString(buffer), XpString(XP_T("abc")));
    EXPECT_EQ(file.ReadLineToBuffer(buffer, 8), XpRc::Ok);
    EXPECT_EQ(XpString(buffer), XpString(XP_T("def")));
    EXPECT_EQ(file.ReadLineToBuffer(buffer, 8), XpRc::Ok);
    EXPECT_EQ(XpString(buffer), XpString(XP_T("xy")));
    EXPECT_EQ(file.ReadLineToBuffer(buffer, 2), XpRc::Ok);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(file.ReadLineToBuffer(buffer, 8), XpRc::Ok);
    EXPECT_EQ(XpString(buffer), XpString(XP_T("last")));
    EXPECT_EQ(file.ReadLineToBuffer(buffer, 8), XpRc::Ok);
    EXPECT_EQ(buffer[0], 0);
}

TEST(XpMemoryFile, TimesAndTitle)
{
    XpMemoryFile file;
    XpDateTime created, modified, accessed;
    ASSERT_EQ(file.GetTimes(&created, &modified, &accessed), XpRc::Ok);
    EXPECT_TRUE(created.IsValid());
    EXPECT_TRUE(modified.IsValid());
    EXPECT_TRUE(accessed.IsValid());
    EXPECT_NEAR(created.GetValue(), XpDateTime::Now().GetValue(), 2.0 / 86400);
    int64_t size = -1;
    EXPECT_EQ(file.GetInfo(nullptr, &modified, nullptr, &size), XpRc::Ok);
    EXPECT_EQ(size, 0);
    EXPECT_EQ(file.SetTimes(&created, nullptr, nullptr), XpRc::NotSupportedByKind);

    const XpString title = file.GetTitle();
    const XpString prefix(XP_T("Memory File("));
    ASSERT_EQ(title.GetLength(), prefix.GetLength() + 32 + 1);
    EXPECT_EQ(title.Left(prefix.GetLength()), prefix);
    EXPECT_EQ(title.GetString()[title.GetLength() - 1], XP_T(')'));
}
