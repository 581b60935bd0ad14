#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "foundation/files/XpDir.h"
#include "foundation/files/XpFile.h"
#include "foundation/files/XpPathText.h"

namespace fs = std::filesystem;

using kestrow_test::ToFs;
using kestrow_test::ToXp;

namespace {

// The name part of an entry's path, as plain text for comparisons.
std::string NameOf(const XpAbstractFSObj& entry)
{
    return ToFs(entry.GetPath()).filename().string();
}

class XpDirTest : public kestrow_test::TempFolderTest {
protected:
    void MakeFile(const std::string& relative, size_t size) const { WriteBytes(relative, std::string(size, 'd')); }

    // The sorted names of what an enumeration lists.
    std::vector<std::string> List(uint32_t flags, const XpChar* pattern, XpResult* rc = nullptr) const
    {
        XpDir dir(ToXp(m_root));
        const XpResult result = dir.FindFirst(flags, pattern);
        if (rc) *rc = result;
        std::vector<std::string> names;
        while (XpSharedPtr<XpAbstractFSObj> entry = dir.FindNext()) names.push_back(NameOf(*entry));
        std::sort(names.begin(), names.end());
        return names;
    }
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(XpDirTest, FlagsSelectKindsAndNames)
{
    MakeFile("ab1.txt", 1);
    MakeFile("ab2.dat", 1);
    MakeFile("xab.txt", 1);
    MakeFile("ba.txt", 1);
    MakeDir("abdir");
    MakeDir("other");

    XpResult rc = XpRc::Failure;
    EXPECT_EQ(List(0x202, XP_T("ab"), &rc), (Names{"ab1.txt", "ab2.dat"}));
    EXPECT_EQ(rc, XpRc::Ok);
    EXPECT_EQ(List(0x201, XP_T("ab")), (Names{"abdir"}));
    EXPECT_EQ(List(0x203, XP_T("ab")), (Names{"ab1.txt", "ab2.dat", "abdir"}));
    EXPECT_EQ(List(0x402, XP_T(".txt")), (Names{"ab1.txt", "ba.txt", "xab.txt"}));
    EXPECT_EQ(List(0x802, XP_T("b")), (Names{"ab1.txt", "ab2.dat", "ba.txt", "xab.txt"}));
    EXPECT_EQ(List(0x102, XP_T("?a*")), (Names{"ba.txt", "xab.txt"}));
    // Without a pattern flag the pattern is ignored; "." and ".." never appear.
    EXPECT_EQ(List(0x1, XP_T("zz")), (Names{"abdir", "other"}));
    EXPECT_EQ(List(0x3, nullptr), (Names{"ab1.txt", "ab2.dat", "abdir", "ba.txt", "other", "xab.txt"}));
    // No match at all is the system's "not found".
    EXPECT_EQ(List(0x202, XP_T("qq"), &rc), Names{});
    EXPECT_EQ(rc, XpRc::FileNotFound);
}

TEST_F(XpDirTest, EntriesAreObjectsOfTheirOwnKind)
{
    MakeFile("file.bin", 5);
    MakeDir("sub");
    XpDir dir(ToXp(m_root));
    ASSERT_EQ(dir.FindFirst(0x3, nullptr), XpRc::Ok);
    int files = 0, dirs = 0;
    while (XpSharedPtr<XpAbstractFSObj> entry = dir.FindNext()) {
        EXPECT_EQ(entry.GetUseCount(), 1);
        if (entry->IsDirectory()) {
            ++dirs;
            EXPECT_NE(dynamic_cast<XpDir*>(entry.Get()), nullptr);
            EXPECT_EQ(NameOf(*entry), "sub");
        } else {
            ++files;
            auto* file = dynamic_cast<XpFile*>(entry.Get());
            ASSERT_NE(file, nullptr);
            EXPECT_EQ(file->GetPath(), ToXp(m_root / "file.bin"));
            EXPECT_EQ(file->GetSize(), 5);
        }
    }
    EXPECT_EQ(files, 1);
    EXPECT_EQ(dirs, 1);
    // Exhausted: it stays empty until a new enumeration starts.
    EXPECT_FALSE(dir.FindNext());
    EXPECT_EQ(dir.FindClose(), XpRc::Ok);
    EXPECT_EQ(dir.FindClose(), XpRc::NotOpen);
    EXPECT_FALSE(dir.FindNext());
}

TEST_F(XpDirTest, EmptyAndMissingDirectories)
{
    XpDir empty(ToXp(m_root));
    ASSERT_EQ(empty.FindFirst(0x3, nullptr), XpRc::Ok);
    EXPECT_FALSE(empty.FindNext());
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.CountEntries(true), 0u);
    EXPECT_EQ(empty.GetSize(), 0);

    MakeDir("only-a-dir");
    EXPECT_FALSE(empty.IsEmpty());

    XpDir missing(ToXp(m_root / "missing"));
    EXPECT_EQ(missing.FindFirst(0x3, nullptr), XpRc::PathNotFound);
    EXPECT_FALSE(missing.FindNext());
    EXPECT_FALSE(missing.IsEmpty());
    EXPECT_EQ(missing.GetSize(), -1);
    EXPECT_EQ(missing.CountEntries(true), 0u);
    EXPECT_EQ(missing.GetTimes(nullptr, nullptr, nullptr), XpRc::FileNotFound);
}

TEST_F(XpDirTest, SizeAndCountCoverTheWholeTree)
{
    MakeFile("a.bin", 10);
    MakeDir("sub/deeper");
    MakeDir("sub/empty");
    MakeFile("sub/b.bin", 200);
    MakeFile("sub/deeper/c.bin", 3000);
    XpDir dir(ToXp(m_root));
    EXPECT_EQ(dir.GetSize(), 3210);
    EXPECT_EQ(dir.CountEntries(false), 2u);
    EXPECT_EQ(dir.CountEntries(true), 6u);
    // A walk of its own: an enumeration under way is not disturbed.
    ASSERT_EQ(dir.FindFirst(0x2, nullptr), XpRc::Ok);
    EXPECT_EQ(dir.GetSize(), 3210);
    XpSharedPtr<XpAbstractFSObj> entry = dir.FindNext();
    ASSERT_TRUE(entry);
    EXPECT_EQ(NameOf(*entry), "a.bin");
    EXPECT_FALSE(dir.FindNext());
}

TEST_F(XpDirTest, AttributesTimesAndTitle)
{
    MakeDir("folder.name");
    XpDir dir(ToXp(m_root / "folder.name"));
    EXPECT_EQ(dir.GetTitle(), XpString(XP_T("folder")));
    EXPECT_FALSE(dir.IsReadOnly());
    EXPECT_FALSE(dir.IsHidden());
    XpDateTime created, modified, accessed;
    ASSERT_EQ(dir.GetTimes(&created, &modified, &accessed), XpRc::Ok);
    EXPECT_TRUE(created.IsValid());
    EXPECT_TRUE(accessed.IsValid());
    EXPECT_NEAR(modified.GetValue(), XpDateTime::Now().GetValue(), 60.0 / 86400);
    EXPECT_EQ(dir.SetTimes(&created, nullptr, nullptr), XpRc::NotSupportedByKind);
    // Named with a trailing separator, the folder has the same times.
    const XpChar separator[2] = {XpPathSeparator(), 0};
    XpDir slashed(ToXp(m_root / "folder.name") + separator);
    XpDateTime slashedModified;
    ASSERT_EQ(slashed.GetTimes(nullptr, &slashedModified, nullptr), XpRc::Ok);
    EXPECT_EQ(slashedModified.GetValue(), modified.GetValue());
    EXPECT_EQ(XpDir(ToXp(m_root / "missing")).GetTimes(&created, nullptr, nullptr), XpRc::FileNotFound);

    XpDir other;
    other.Assign(dir);
    EXPECT_EQ(other.GetPath(), dir.GetPath());
}

TEST_F(XpDirTest, VolumeSpaceAndSizeOnDisk)
{
    XpDir dir(ToXp(m_root));
    const int64_t total = dir.GetTotalSpace();
    const int64_t used = dir.GetUsedSpace();
    const int64_t free = dir.GetFreeSpace();
    EXPECT_GT(total, 0);
    EXPECT_GE(used, 0);
    EXPECT_LE(used, total);
    EXPECT_GE(free, 0);
    EXPECT_LE(free, total);

    const int64_t unit = dir.GetSizeOnDisk(1);
    ASSERT_GT(unit, 0);
    EXPECT_EQ(unit & (unit - 1), 0);  // a power of two
    EXPECT_EQ(dir.GetSizeOnDisk(0), 0);
    EXPECT_EQ(dir.GetSizeOnDisk(unit), unit);
    EXPECT_EQ(dir.GetSizeOnDisk(unit + 1), 2 * unit);
    // Rounding up near the largest size stays at the largest size, never negative.
    const int64_t largestWhole = INT64_MAX / unit * unit;
    EXPECT_EQ(dir.GetSizeOnDisk(largestWhole), largestWhole);
    EXPECT_EQ(dir.GetSizeOnDisk(largestWhole + 1), INT64_MAX);
    EXPECT_EQ(dir.GetSizeOnDisk(INT64_MAX), INT64_MAX);

    XpDir missing(ToXp(m_root / "missing" / "deeper"));
    EXPECT_EQ(missing.GetTotalSpace(), -1);
    EXPECT_EQ(missing.GetFreeSpace(), -1);
}

TEST_F(XpDirTest, LinksAreCountedButNotFollowed)
{
#if defined(_WIN32)
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
    MakeDir("outside");
    MakeFile("outside/big.bin", 5000);
    MakeDir("tree");
    MakeFile("tree/small.bin", 7);
    fs::create_directory_symlink(m_root / "outside", m_root / "tree" / "dirlink");
    fs::create_symlink(m_root / "outside" / "big.bin", m_root / "tree" / "filelink");
    XpDir dir(ToXp(m_root / "tree"));
    EXPECT_EQ(dir.GetSize(), 7);
    EXPECT_EQ(dir.CountEntries(true), 3u);
    // The enumeration still lists the links, a directory link as a directory.
    Names dirs;
    ASSERT_EQ(dir.FindFirst(0x1, nullptr), XpRc::Ok);
    while (XpSharedPtr<XpAbstractFSObj> entry = dir.FindNext()) dirs.push_back(NameOf(*entry));
    EXPECT_EQ(dirs, Names{"dirlink"});
#endif
}
