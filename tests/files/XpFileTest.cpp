#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/files/XpFile.h"

using kestrow_test::MakeReadOnly;
using kestrow_test::ReadChars;

using XpFileTest = kestrow_test::TempFolderTest;

TEST_F(XpFileTest, OpenChecksItsState)
{
    XpFile file(Path("a.txt"));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Open(0, 0), XpRc::InvalidArgument);
    EXPECT_FALSE(file.IsOpen());
    ASSERT_EQ(file.Open(XpFileFlag::Read | XpFileFlag::Write, 0), XpRc::Ok);
    EXPECT_EQ(file.Open(XpFileFlag::Read, 0), XpRc::AlreadyOpen);
    // Still open, and still writable as first opened.
    EXPECT_EQ(file.Write("xyz", 3, nullptr), XpRc::Ok);
    EXPECT_EQ(file.Close(), XpRc::Ok);
    EXPECT_EQ(file.Close(), XpRc::CloseNotOpen);
    EXPECT_EQ(ReadBytes("a.txt"), "xyz");
}

TEST_F(XpFileTest, OpenCreatesEmptiesOrKeepsByMode)
{
    // Write only: a missing file is created, an existing one emptied.
    XpFile file;
    ASSERT_EQ(file.OpenPath(Path("new.bin").GetString(), XpFileFlag::Write, 0), XpRc::Ok);
    EXPECT_TRUE(Exists("new.bin"));
    WriteBytes("full.bin", "0123456789");
    ASSERT_EQ(file.OpenPath(Path("full.bin").GetString(), XpFileFlag::Write, 0), XpRc::Ok);
    EXPECT_EQ(file.GetSize(), 0);
    file.Close();
    EXPECT_EQ(ReadBytes("full.bin"), "");

    // Read and write: a missing file is created, an existing one kept.
    ASSERT_EQ(file.OpenPath(Path("rw.bin").GetString(), XpFileFlag::Read | XpFileFlag::Write, 0), XpRc::Ok);
    EXPECT_TRUE(Exists("rw.bin"));
    WriteBytes("kept.bin", "keep me");
    ASSERT_EQ(file.OpenPath(Path("kept.bin").GetString(), XpFileFlag::Read | XpFileFlag::Write, 0), XpRc::Ok);
    EXPECT_EQ(file.GetSize(), 7);
    file.Close();
    EXPECT_EQ(ReadBytes("kept.bin"), "keep me");

    // Read only: the file must exist.
    EXPECT_EQ(file.OpenPath(Path("missing.bin").GetString(), XpFileFlag::Read, 0), XpRc::FileNotFound);
    EXPECT_FALSE(Exists("missing.bin"));
    EXPECT_EQ(file.OpenPath(Path("no-such-dir/x.bin").GetString(), XpFileFlag::Read, 0), XpRc::PathNotFound);
}

TEST_F(XpFileTest, ClosedFileRefusesHandleOperations)
{
    WriteBytes("c.bin", "abcd");
    XpFile file(Path("c.bin"));
    char buffer[4];
    EXPECT_EQ(file.Read(buffer, 4, nullptr), XpRc::NotOpen);
    EXPECT_EQ(file.Write(buffer, 4, nullptr), XpRc::NotOpen);
    EXPECT_EQ(file.Seek(0, XpSeekOrigin::Begin), XpRc::NotOpen);
    EXPECT_EQ(file.SetLength(1), XpRc::NotOpen);
    EXPECT_EQ(file.Tell(), -1);
    // The size and times are known all the same.
    EXPECT_EQ(file.GetSize(), 4);
    EXPECT_TRUE(file.GetModificationTime().IsValid());
    // Invalid arguments are told apart from the state.
    EXPECT_EQ(file.Read(nullptr, 4, nullptr), XpRc::InvalidArgument);
    EXPECT_EQ(file.Read(buffer, 0, nullptr), XpRc::InvalidArgument);
}

TEST_F(XpFileTest, ShortReadsReportTheirCount)
{
    WriteBytes("four.bin", "wxyz");
    XpFile file(Path("four.bin"));
    ASSERT_EQ(file.Open(XpFileFlag::Read, XpFileOpen::ShareRead), XpRc::Ok);
    char buffer[16] = {};
    uint64_t count = 0;
    EXPECT_EQ(file.Read(buffer, 10, &count), XpRc::EndOfFile);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(buffer, 4), "wxyz");
    EXPECT_EQ(file.Read(buffer, 10, &count), XpRc::EndOfFile);
    EXPECT_EQ(count, 0u);
}

TEST_F(XpFileTest, SeekTellAndSetLength)
{
    XpFile file(Path("len.bin"));
    ASSERT_EQ(file.Open(XpFileFlag::Read | XpFileFlag::Write, 0), XpRc::Ok);
    ASSERT_EQ(file.Write("0123456789", 10, nullptr), XpRc::Ok);
    EXPECT_EQ(file.Tell(), 10);
    ASSERT_EQ(file.Seek(-3, XpSeekOrigin::End), XpRc::Ok);
    EXPECT_EQ(file.Tell(), 7);
    ASSERT_EQ(file.Seek(-2, XpSeekOrigin::Current), XpRc::Ok);
    EXPECT_EQ(file.Tell(), 5);
    ASSERT_EQ(file.Seek(2, 9), XpRc::Ok);  // an unknown origin counts from the start
    EXPECT_EQ(file.Tell(), 2);

    // The position stays when it lies inside the new length...
    ASSERT_EQ(file.SetLength(20), XpRc::Ok);
    EXPECT_EQ(file.Tell(), 2);
    EXPECT_EQ(file.GetSize(), 20);
    // ...and is the new end otherwise.
    ASSERT_EQ(file.Seek(8, XpSeekOrigin::Begin), XpRc::Ok);
    ASSERT_EQ(file.SetLength(4), XpRc::Ok);
    EXPECT_EQ(file.Tell(), 4);
    ASSERT_EQ(file.Close(), XpRc::Ok);
    EXPECT_EQ(ReadBytes("len.bin"), "0123");
}

TEST_F(XpFileTest, TextModeOnDisk)
{
    WriteBytes("crlf.txt", "A\r\nB");
    WriteBytes("cr.txt", "\rX");
    XpFile file(Path("crlf.txt"));
    ASSERT_EQ(file.Open(XpFileFlag::Read | XpFileFlag::Text, XpFileOpen::ShareRead), XpRc::Ok);
    EXPECT_EQ(ReadChars(file), (std::vector<XpChar>{'A', '\n', 'B'}));
    ASSERT_EQ(file.OpenPath(Path("cr.txt").GetString(), XpFileFlag::Read | XpFileFlag::Text, 0), XpRc::Ok);
    EXPECT_EQ(ReadChars(file), (std::vector<XpChar>{'\r', 'X'}));
    // Without the text flag the bytes come as they are.
    ASSERT_EQ(file.OpenPath(Path("crlf.txt").GetString(), XpFileFlag::Read, 0), XpRc::Ok);
    EXPECT_EQ(ReadChars(file), (std::vector<XpChar>{'A', '\r', '\n', 'B'}));

    ASSERT_EQ(file.OpenPath(Path("out.txt").GetString(), XpFileFlag::Write | XpFileFlag::Text, 0), XpRc::Ok);
    ASSERT_EQ(file.WriteText(XP_T("A\n")), XpRc::Ok);
    ASSERT_EQ(file.Close(), XpRc::Ok);
    EXPECT_EQ(ReadBytes("out.txt"), "A\r\n");
}

TEST_F(XpFileTest, ReadLineReadsEveryLineWhole)
{
    const std::string longLine(700, 'L');
    WriteBytes("lines.txt", "1.2.3\r\n" + longLine + "\r\n\r\nend");
    XpFile file(Path("lines.txt"));
    ASSERT_EQ(file.Open(XpFileFlag::Read | XpFileFlag::Text, XpFileOpen::ShareRead), XpRc::Ok);
    XpString line;
    ASSERT_EQ(file.ReadLine(line), XpRc::Ok);
    EXPECT_EQ(line, XpString(XP_T("1.2.3")));
    ASSERT_EQ(file.ReadLine(line), XpRc::Ok);
    EXPECT_EQ(line.GetLength(), 700);
    EXPECT_EQ(line.GetString()[699], XP_T('L'));
    ASSERT_EQ(file.ReadLine(line), XpRc::Ok);
    EXPECT_TRUE(line.IsEmpty());
    ASSERT_EQ(file.ReadLine(line), XpRc::Ok);
    EXPECT_EQ(line, XpString(XP_T("end")));
    // At the end: an empty line and success, every time.
    ASSERT_EQ(file.ReadLine(line), XpRc::Ok);
    EXPECT_TRUE(line.IsEmpty());
    ASSERT_EQ(file.ReadLine(line), XpRc::Ok);
    EXPECT_TRUE(line.IsEmpty());

    XpFile closed(Path("lines.txt"));
    EXPECT_EQ(closed.ReadLine(line), XpRc::NotOpen);
}

TEST_F(XpFileTest, TypedWritesOnFreshFiles)
{
    const struct {
        const char* name;
        uint32_t order;
        const char* bytes;
    } cases[] = {
        {"be.bin", XpByteOrder::BigEndian, "\x11\x22\x33\x44"},
        {"le.bin", XpByteOrder::LittleEndian, "\x44\x33\x22\x11"},
        {"keep.bin", XpByteOrder::Keep, "\x11\x22\x33\x44"},  // no order chosen yet: big-endian
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        XpFile file(Path(c.name));
        ASSERT_EQ(file.Open(XpFileFlag::Read | XpFileFlag::Write, 0), XpRc::Ok);
        ASSERT_EQ(file.WriteUInt32(0x11223344, c.order), XpRc::Ok);
        ASSERT_EQ(file.Seek(0, XpSeekOrigin::Begin), XpRc::Ok);
        int32_t value = 0;
        ASSERT_EQ(file.ReadInt32(&value, XpByteOrder::Keep), XpRc::Ok);
        EXPECT_EQ(value, 0x11223344);
        ASSERT_EQ(file.Close(), XpRc::Ok);
        EXPECT_EQ(ReadBytes(c.name), std::string(c.bytes, 4));
    }
}

TEST_F(XpFileTest, TimesSetOnAnOpenFileAreWrittenAtClose)
{
    XpFile file(Path("t.bin"));
    ASSERT_EQ(file.Open(XpFileFlag::Write, 0), XpRc::Ok);
    const XpDateTime when(2011, 6, 15, 10, 20, 30);
    ASSERT_EQ(file.SetTimes(nullptr, &when, nullptr), XpRc::Ok);
    ASSERT_EQ(file.Write("data", 4, nullptr), XpRc::Ok);
    ASSERT_EQ(file.Close(), XpRc::Ok);

    XpFile reader(Path("t.bin"));
    EXPECT_EQ(reader.GetModificationTime().GetValue(), when.GetValue());
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    ASSERT_TRUE(reader.GetModificationTime().GetFields(&y, &mo, &d, &h, &mi, &s, nullptr));
    EXPECT_EQ(y * 10000 + mo * 100 + d, 20110615);
    EXPECT_EQ(h * 10000 + mi * 100 + s, 102030);

    // On a closed file they are written at once.
    const XpDateTime later(2015, 1, 2, 3, 4, 5);
    ASSERT_EQ(reader.SetTimes(nullptr, &later, &later), XpRc::Ok);
    EXPECT_EQ(reader.GetModificationTime().GetValue(), later.GetValue());
    EXPECT_EQ(reader.GetAccessTime().GetValue(), later.GetValue());
    // A date that has no file time is refused, not written as some other time.
    const XpDateTime invalid;
    EXPECT_EQ(reader.SetTimes(nullptr, &invalid, nullptr), XpRc::InvalidFile);
    EXPECT_EQ(reader.GetModificationTime().GetValue(), later.GetValue());

    XpFile missing(Path("missing.bin"));
    EXPECT_NE(missing.SetTimes(nullptr, &later, nullptr), XpRc::Ok);
}

TEST_F(XpFileTest, InfoOfOpenAndClosedFiles)
{
    WriteBytes("info.txt", std::string(1234, 'i'));
    XpFile file(Path("info.txt"));
    XpDateTime created, modified, accessed;
    int64_t size = 0;
    ASSERT_EQ(file.GetInfo(&created, &modified, &accessed, &size), XpRc::Ok);
    EXPECT_EQ(size, 1234);
    EXPECT_TRUE(created.IsValid());
    EXPECT_NEAR(modified.GetValue(), XpDateTime::Now().GetValue(), 60.0 / 86400);
    EXPECT_EQ(file.GetTitle(), XpString(XP_T("info")));
    EXPECT_FALSE(file.IsReadOnly());
    EXPECT_FALSE(file.IsHidden());

    ASSERT_EQ(file.Open(XpFileFlag::Read | XpFileFlag::Write, 0), XpRc::Ok);
    ASSERT_EQ(file.Seek(0, XpSeekOrigin::End), XpRc::Ok);
    ASSERT_EQ(file.Write("more", 4, nullptr), XpRc::Ok);
    EXPECT_EQ(file.GetSize(), 1238);
    ASSERT_EQ(file.Close(), XpRc::Ok);

    XpFile missing(Path("missing.txt"));
    EXPECT_EQ(missing.GetSize(), -1);
    EXPECT_EQ(missing.GetInfo(nullptr, nullptr, nullptr, &size), XpRc::FileNotFound);
    EXPECT_FALSE(missing.GetCreationTime().IsValid());
    EXPECT_FALSE(missing.IsReadOnly());

    MakeReadOnly(m_root / "info.txt");
    EXPECT_TRUE(file.IsReadOnly());
}
