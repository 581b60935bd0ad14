#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "LinkSupport.h"
#include "TestSupport.h"
#include "foundation/files/XpFile.h"
#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPath.h"
#include "platform/PlatformFiles.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kNoLinks = XpFileFlag::NoLinks;
constexpr uint32_t kNew = XpFileFlag::MustBeNew;
constexpr uint32_t kRead = XpFileFlag::Read;
constexpr uint32_t kWrite = XpFileFlag::Write;

class XpLinkSafeFilesTest : public kestrow_test::TempFolderTest {
protected:
    void TearDown() override
    {
        kestrow_test::RemoveTreeWithLinks(m_root / "work");
        TempFolderTest::TearDown();
    }

    XpResult OpenAndWrite(const std::string& relative, uint32_t flags, const char* text = "new")
    {
        XpFile file(Path(relative));
        XpResult rc = file.Open(flags, 0);
        if (rc == XpRc::Ok && (flags & kWrite) != 0) rc = file.Write(text, 3, nullptr);
        file.Close();
        return rc;
    }

#if !defined(_WIN32)
    mode_t Mode(const std::string& relative) const
    {
        struct stat status;
        return lstat(Native(relative).c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
    }
#endif
};

}  // namespace

TEST_F(XpLinkSafeFilesTest, APlantedLinkIsNeverOpenedThrough)
{
    if (!kestrow_test::CanMakeLinks()) GTEST_SKIP() << "no way to plant links on this host";
    WriteBytes("victim.txt", "precious");
    MakeDir("work");
    ASSERT_TRUE(kestrow_test::MakeLink(m_root / "victim.txt", m_root / "work" / "link.txt"));
    ASSERT_TRUE(kestrow_test::MakeLink(m_root / "missing.txt", m_root / "work" / "dangling.txt"));

    // Whatever the open asks for, the link's target stays as it was, and a target that
    // does not exist is not made.
    for (const std::string name : {"work/link.txt", "work/dangling.txt"}) {
        SCOPED_TRACE(name);
#if defined(_WIN32)
        // Wine neither lists nor opens a Unix link that leads nowhere: a read finds nothing.
        const XpResult refusedRead = name == "work/dangling.txt" ? XpRc::FileNotFound : XpRc::LinkRefused;
#else
        const XpResult refusedRead = XpRc::LinkRefused;
#endif
        EXPECT_EQ(OpenAndWrite(name, kRead | kNoLinks), refusedRead);
        EXPECT_EQ(OpenAndWrite(name, kWrite | kNoLinks), XpRc::LinkRefused);
        EXPECT_EQ(OpenAndWrite(name, kRead | kWrite | kNoLinks), XpRc::LinkRefused);
        EXPECT_EQ(OpenAndWrite(name, kWrite | kNew), XpRc::AlreadyExists);
        EXPECT_EQ(OpenAndWrite(name, kRead | kWrite | kNew), XpRc::AlreadyExists);
        EXPECT_EQ(ReadBytes("victim.txt"), "precious");
        EXPECT_FALSE(Exists("missing.txt"));
    }
    // Reading a file that must be new makes no sense.
    EXPECT_EQ(OpenAndWrite("work/other.txt", kRead | kNew), XpRc::InvalidArgument);

    // A link on the way to the folder is the caller's own path and is followed.
    MakeDir("real");
    ASSERT_TRUE(kestrow_test::MakeLink(m_root / "real", m_root / "work" / "folderlink"));
    EXPECT_EQ(OpenAndWrite("work/folderlink/file.txt", kWrite | kNew), XpRc::Ok);
    EXPECT_EQ(ReadBytes("real/file.txt"), "new");
}

TEST_F(XpLinkSafeFilesTest, LinkSafeOpensKeepTheOpenModes)
{
    // New files: made once, and never again over an existing one.
    EXPECT_EQ(OpenAndWrite("new.txt", kWrite | kNew, "one"), XpRc::Ok);
    EXPECT_EQ(OpenAndWrite("new.txt", kWrite | kNew, "two"), XpRc::AlreadyExists);
    EXPECT_EQ(ReadBytes("new.txt"), "one");
    // Write only empties an existing file; read and write keeps it; read needs it.
    WriteBytes("kept.txt", "abcdef");
    EXPECT_EQ(OpenAndWrite("kept.txt", kRead | kWrite | kNoLinks, "XY!"), XpRc::Ok);
    EXPECT_EQ(ReadBytes("kept.txt"), "XY!def");
    EXPECT_EQ(OpenAndWrite("kept.txt", kWrite | kNoLinks, "new"), XpRc::Ok);
    EXPECT_EQ(ReadBytes("kept.txt"), "new");
    EXPECT_EQ(OpenAndWrite("made.txt", kWrite | kNoLinks), XpRc::Ok);
    EXPECT_EQ(OpenAndWrite("missing.txt", kRead | kNoLinks), XpRc::FileNotFound);
    EXPECT_EQ(OpenAndWrite("nowhere/file.txt", kWrite | kNew), XpRc::PathNotFound);
#if !defined(_WIN32)
    // A read-only file is not written. (Windows refuses this itself; Wine run as root
    // does not, so it is checked here only.)
    WriteBytes("readonly.txt", "ro");
    kestrow_test::MakeReadOnly(Native("readonly.txt"));
    EXPECT_EQ(OpenAndWrite("readonly.txt", kWrite | kNoLinks), XpRc::AccessDenied);
    EXPECT_EQ(ReadBytes("readonly.txt"), "ro");
#endif
}

TEST_F(XpLinkSafeFilesTest, PrivateFolderIsMadeOrRefused)
{
    const XpPath work(Path("work"));
    ASSERT_EQ(work.CreatePrivateDirectory(), XpRc::Ok);
    EXPECT_TRUE(work.IsDirectory());
    WriteBytes("file", "x");
    EXPECT_EQ(XpFileOperation::CreatePrivateDirectory(Path("file")), XpRc::AlreadyExists);
    EXPECT_EQ(XpFileOperation::CreatePrivateDirectory(Path("nowhere/work")), XpRc::PathNotFound);
    EXPECT_EQ(XpFileOperation::CreatePrivateDirectory(XpString()), XpRc::BadRoot);
#if !defined(_WIN32)
    EXPECT_EQ(Mode("work"), 0700u);
    // A folder of this user that others cannot write is taken, and closed to them.
    MakeDir("mine");
    fs::permissions(Native("mine"), fs::perms(0755));
    EXPECT_EQ(XpFileOperation::CreatePrivateDirectory(Path("mine")), XpRc::Ok);
    EXPECT_EQ(Mode("mine"), 0700u);
    for (const unsigned mode : {0777u, 0770u, 0702u}) {
        MakeDir("open");
        fs::permissions(Native("open"), fs::perms(mode));
        EXPECT_EQ(XpFileOperation::CreatePrivateDirectory(Path("open")), XpRc::FolderNotPrivate) << mode;
        EXPECT_EQ(Mode("open"), mode);
    }
    if (geteuid() == 0) {
        MakeDir("theirs");
        ASSERT_EQ(chown(Native("theirs").c_str(), 65534, 65534), 0);
        fs::permissions(Native("theirs"), fs::perms(0700));
        EXPECT_EQ(XpFileOperation::CreatePrivateDirectory(Path("theirs")), XpRc::FolderNotPrivate);
    }
#endif
}

TEST_F(XpLinkSafeFilesTest, PrivateFolderRefusesALinkInItsPlace)
{
    if (!kestrow_test::CanMakeLinks()) GTEST_SKIP() << "no way to plant links on this host";
    MakeDir("target");
    fs::permissions(Native("target"), fs::perms(0755));
    MakeDir("work");
    ASSERT_TRUE(kestrow_test::MakeLink(m_root / "target", m_root / "work" / "private"));
    ASSERT_TRUE(kestrow_test::MakeLink(m_root / "missing", m_root / "work" / "dangling"));
    EXPECT_EQ(XpFileOperation::CreatePrivateDirectory(Path("work/private")), XpRc::LinkRefused);
    EXPECT_EQ(XpFileOperation::CreatePrivateDirectory(Path("work/dangling")), XpRc::LinkRefused);
    EXPECT_FALSE(Exists("missing"));
#if !defined(_WIN32)
    EXPECT_EQ(Mode("target"), 0755u);
#endif
}
