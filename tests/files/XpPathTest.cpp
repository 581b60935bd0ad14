#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TestSupport.h"
#include "foundation/files/XpPath.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformFolders.h"

namespace fs = std::filesystem;

using kestrow_test::ToFs;

using PathTest = kestrow_test::TempFolderTest;

TEST(XpPathSpecialFolders, DefaultPathIsTheTemporaryFolder)
{
    const XpPath temp;
    const XpString text = temp.ToString();
    ASSERT_FALSE(text.IsEmpty());
    EXPECT_TRUE(text == GetSpecialFolderPath(XpSpecialFolder::Temp));
    EXPECT_EQ(text.GetString()[text.GetLength() - 1], XpPathSeparator());
    EXPECT_FALSE(GetPathRoot(text).IsEmpty());
    EXPECT_TRUE(temp.IsDirectory());
    EXPECT_FALSE(temp.IsFile());
    EXPECT_EQ(temp.GetKind(), XpPathKind::Folder);
}

TEST(XpPathSpecialFolders, ModulePathAndItsSiblings)
{
    const XpString module = GetSpecialFolderPath(XpSpecialFolder::ModulePath);
    ASSERT_FALSE(module.IsEmpty());
    EXPECT_TRUE(XpPath(module).IsFile());

    const XpString sibling = GetModuleSiblingPath(GetFileNamePart(module));
    EXPECT_TRUE(sibling == module) << ToFs(sibling).string() << " vs " << ToFs(module).string();
    EXPECT_TRUE(GetModuleSiblingPath(XpString(XP_T("no-such-file-beside-the-tests.xml"))).IsEmpty());
    // The executable's own folder is no file.
    EXPECT_TRUE(GetModuleSiblingPath(XpString()).IsEmpty());
    // A pattern is not a name, even when something matches it.
    EXPECT_TRUE(GetModuleSiblingPath(XpString(XP_T("*"))).IsEmpty());
}

TEST(XpPathSpecialFolders, UnknownKindsAreEmpty)
{
    for (int kind : {12, -1, 16, 1000}) EXPECT_TRUE(GetSpecialFolderPath(kind).IsEmpty()) << kind;
}

TEST_F(PathTest, CreateDirectoriesAndKindTests)
{
    const XpPath folder(Path("work/Vimbly_Kestrow"));
    EXPECT_FALSE(folder.IsDirectory());
    EXPECT_EQ(folder.CreateDirectories(), XpRc::Ok);
    EXPECT_TRUE(folder.IsDirectory());
    EXPECT_FALSE(folder.IsFile());
    EXPECT_EQ(folder.CreateDirectories(), XpRc::AlreadyExists);

    std::ofstream(m_root / "work" / "package.exe") << "MZ";
    XpPath package(Path("work/package.exe"));
    package.SetKind(XpPathKind::File);
    EXPECT_TRUE(package.IsFile());
    EXPECT_FALSE(package.IsDirectory());
    EXPECT_EQ(package.GetKind(), XpPathKind::File);
}

#if defined(_WIN32)
TEST(XpPathSpecialFolders, MediaFoldersAreDirectories)
{
    // The Wine prefix is private to the tests, so its media folders may be made.
    for (int kind : {XpSpecialFolder::Pictures, XpSpecialFolder::Videos, XpSpecialFolder::Music}) {
        const XpString path = GetSpecialFolderPath(kind);
        ASSERT_FALSE(path.IsEmpty()) << kind;
        EXPECT_TRUE(XpPath(path).IsDirectory()) << kind;
    }
}
#else
TEST_F(PathTest, MissingMediaFoldersAreMadeOnFirstUse)
{
    kestrow_test::ScopedEnvironment home("HOME", (m_root / "home").string());
    kestrow_test::ScopedEnvironment config("XDG_CONFIG_HOME", (m_root / "config").string());
    fs::create_directories(m_root / "config");
    std::ofstream(m_root / "blocker") << "x";
    std::ofstream(m_root / "config" / "user-dirs.dirs")
        << "XDG_PICTURES_DIR=\"" << (m_root / "media" / "Pictures").string() << "\"\n"
        << "XDG_VIDEOS_DIR=\"" << (m_root / "blocker" / "Videos").string() << "\"\n"
        << "XDG_DOCUMENTS_DIR=\"" << (m_root / "docs").string() << "\"\n";

    // Two missing levels are made.
    EXPECT_TRUE(GetSpecialFolderPath(XpSpecialFolder::Pictures) == Path("media/Pictures"));
    EXPECT_TRUE(fs::is_directory(m_root / "media" / "Pictures"));
    // The default below the home folder.
    EXPECT_TRUE(GetSpecialFolderPath(XpSpecialFolder::Music) == Path("home/Music"));
    EXPECT_TRUE(fs::is_directory(m_root / "home" / "Music"));
    // A folder that cannot be made is no answer.
    EXPECT_TRUE(GetSpecialFolderPath(XpSpecialFolder::Videos).IsEmpty());
    // Only the media folders are made.
    EXPECT_TRUE(GetSpecialFolderPath(XpSpecialFolder::Documents) == Path("docs"));
    EXPECT_FALSE(fs::exists(m_root / "docs"));
}
#endif
