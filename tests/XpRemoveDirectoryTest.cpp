#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "foundation/XpDir.h"
#include "foundation/XpFileOperation.h"
#include "foundation/XpPath.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformFolders.h"

namespace fs = std::filesystem;

namespace {

XpString ToXp(const fs::path& path)
{
    const std::basic_string<XpChar> text = path.string<XpChar>();
    return XpString(text.c_str(), static_cast<int32_t>(text.size()));
}

std::string RandomTag()
{
    std::random_device device;
    std::uniform_int_distribution<unsigned> digits(0, 0xFFFFFF);
    char text[16];
    std::snprintf(text, sizeof text, "%06x", digits(device));
    return text;
}

// Records every report with the path and counts at that moment.
class RecordingProgress : public XpFileProgress {
public:
    void Report(double) override
    {
        paths.push_back(m_strCurrentPath);
        totals.push_back(m_nTotal);
        dones.push_back(m_nDone);
    }
    std::vector<XpString> paths;
    std::vector<uint64_t> totals;
    std::vector<uint64_t> dones;
};

// A folder of its own below the system's temporary folder, removed afterwards.
class XpRemoveDirectoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        XpPlatformString temp;
        ASSERT_TRUE(XpPlatformGetTempPath(temp));
        const std::string name = std::string("kestrow-rmdir-") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" + RandomTag();
        m_root = fs::path(temp) / name;
        ASSERT_TRUE(fs::create_directory(m_root));
    }
    void TearDown() override
    {
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(m_root, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
        fs::remove_all(m_root, ec);
    }

    void MakeFile(const fs::path& relative, size_t size = 3) const
    {
        std::ofstream out(m_root / relative, std::ios::binary);
        out << std::string(size, 'r');
    }
    void MakeDir(const fs::path& relative) const { fs::create_directories(m_root / relative); }

    // work/ with files at three depths, an empty folder and a read-only file: 8 entries.
    fs::path MakeTree() const
    {
        MakeDir("work/sub/deeper");
        MakeDir("work/empty");
        MakeFile("work/a.bin");
        MakeFile("work/b.bin");
        MakeFile("work/sub/c.bin");
        MakeFile("work/sub/deeper/d.bin");
        MakeFile("work/sub/deeper/readonly.bin");
        fs::permissions(m_root / "work/sub/deeper/readonly.bin",
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
        return m_root / "work";
    }

    fs::path m_root;
};

}  // namespace

TEST_F(XpRemoveDirectoryTest, RecursiveRemovalReportsEveryEntry)
{
    const fs::path work = MakeTree();
    RecordingProgress progress;
    ASSERT_EQ(XpFileOperation::RemoveDirectory(ToXp(work), true, &progress), XpRc::Ok);
    EXPECT_FALSE(fs::exists(work));
    EXPECT_TRUE(fs::exists(m_root));

    // Every entry and the folder itself, each reported once before it goes.
    EXPECT_EQ(progress.m_nTotal, 9u);
    EXPECT_EQ(progress.m_nDone, 9u);
    ASSERT_EQ(progress.paths.size(), 9u);
    for (size_t i = 0; i < progress.paths.size(); ++i) {
        EXPECT_EQ(progress.totals[i], 9u);
        EXPECT_EQ(progress.dones[i], i);
    }
    // The folder itself goes last, after everything inside it.
    EXPECT_EQ(progress.paths.back(), ToXp(work));
}

TEST_F(XpRemoveDirectoryTest, NonRecursiveRemovalNeedsAnEmptyDirectory)
{
    MakeDir("full");
    MakeFile("full/x.bin");
    MakeDir("empty");
    RecordingProgress progress;
    EXPECT_EQ(XpFileOperation::RemoveDirectory(ToXp(m_root / "full"), false, &progress), XpRc::DirectoryNotEmpty);
    EXPECT_TRUE(fs::exists(m_root / "full/x.bin"));
    EXPECT_EQ(progress.paths.size(), 1u);

    RecordingProgress again;
    ASSERT_EQ(XpFileOperation::RemoveDirectory(ToXp(m_root / "empty"), false, &again), XpRc::Ok);
    EXPECT_FALSE(fs::exists(m_root / "empty"));
    EXPECT_EQ(again.m_nTotal, 1u);
    EXPECT_EQ(again.paths.size(), 2u);
    EXPECT_EQ(XpFileOperation::RemoveDirectory(ToXp(m_root / "empty"), false, nullptr), XpRc::FileNotFound);
}

TEST_F(XpRemoveDirectoryTest, PathRemovesItsTree)
{
    const fs::path work = MakeTree();
    const XpPath path(ToXp(work));
    ASSERT_EQ(path.RemoveDirectoryTree(), XpRc::Ok);
    EXPECT_FALSE(fs::exists(work));
    EXPECT_EQ(path.RemoveDirectoryTree(), XpRc::PathNotFound);
}

TEST_F(XpRemoveDirectoryTest, RemovalStopsAtAnEntryItCannotRemove)
{
    const fs::path work = MakeTree();
    const fs::path held = work / "sub" / "c.bin";
    XpFileHandle handle = kXpInvalidFileHandle;
    ASSERT_EQ(XpPlatformCreateFile(ToXp(held).GetString(), XpFileOpen::GenericRead, 0, XpFileOpen::OpenExisting,
                                   XpFileAttr::Normal, &handle),
              0u);

    RecordingProgress progress;
    EXPECT_EQ(XpFileOperation::RemoveDirectory(ToXp(work), true, &progress), XpRc::AccessDenied);
    XpPlatformCloseFile(handle);

    // The walk ended at the held file: it was the last entry reported, it is still
    // there, and so are the folders above it.
    ASSERT_FALSE(progress.paths.empty());
    EXPECT_EQ(progress.paths.back(), ToXp(held));
    EXPECT_TRUE(fs::exists(held));
    EXPECT_TRUE(fs::exists(work / "sub"));
    EXPECT_TRUE(fs::exists(work));
    // Everything reported before it is gone, everything else is untouched.
    for (size_t i = 0; i + 1 < progress.paths.size(); ++i)
        EXPECT_FALSE(fs::exists(fs::path(progress.paths[i].GetString()))) << i;
    const uint64_t left = XpDir(ToXp(work)).CountEntries(true) + 1;
    EXPECT_EQ(progress.m_nDone, progress.paths.size() - 1);
    EXPECT_EQ(left, progress.m_nTotal - progress.m_nDone);

    // Once the file is free the same removal finishes the job.
    ASSERT_EQ(XpFileOperation::RemoveDirectory(ToXp(work), true, nullptr), XpRc::Ok);
    EXPECT_FALSE(fs::exists(work));
}

TEST_F(XpRemoveDirectoryTest, RemovalOfAMissingDirectoryFails)
{
    RecordingProgress progress;
    EXPECT_EQ(XpFileOperation::RemoveDirectory(ToXp(m_root / "missing"), true, &progress), XpRc::PathNotFound);
    EXPECT_TRUE(progress.paths.empty());
}

TEST_F(XpRemoveDirectoryTest, LinksGoWithoutTheirTargets)
{
#if defined(_WIN32)
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#else
    MakeDir("outside/inner");
    MakeFile("outside/keep.bin");
    MakeFile("outside/inner/keep-too.bin");
    MakeDir("work/sub");
    MakeFile("work/sub/gone.bin");
    fs::create_directory_symlink(m_root / "outside", m_root / "work" / "dirlink");
    fs::create_directory_symlink(m_root / "outside", m_root / "work" / "sub" / "dirlink2");
    fs::create_symlink(m_root / "outside" / "keep.bin", m_root / "work" / "filelink");
    fs::create_symlink(m_root / "nowhere", m_root / "work" / "dangling");

    RecordingProgress progress;
    ASSERT_EQ(XpFileOperation::RemoveDirectory(ToXp(m_root / "work"), true, &progress), XpRc::Ok);
    EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "work")));
    EXPECT_EQ(progress.m_nTotal, 7u);
    EXPECT_EQ(progress.m_nDone, 7u);
    EXPECT_TRUE(fs::exists(m_root / "outside/keep.bin"));
    EXPECT_TRUE(fs::exists(m_root / "outside/inner/keep-too.bin"));

    // A folder that is itself a link goes as the link, also when named with a trailing
    // separator (which makes the system look through the link).
    for (const XpChar* suffix : {XP_T(""), XP_T("/"), XP_T("//")}) {
        SCOPED_TRACE(XpTextLength(suffix));
        fs::create_directory_symlink(m_root / "outside", m_root / "toplink");
        ASSERT_EQ(XpFileOperation::RemoveDirectory(ToXp(m_root / "toplink") + suffix, true, nullptr), XpRc::Ok);
        EXPECT_FALSE(fs::exists(fs::symlink_status(m_root / "toplink")));
        EXPECT_TRUE(fs::exists(m_root / "outside/inner/keep-too.bin"));
    }
#endif
}
