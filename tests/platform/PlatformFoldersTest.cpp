#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "platform/PlatformFolders.h"

namespace fs = std::filesystem;

namespace {

fs::path AsPath(const XpPlatformString& text)
{
    return fs::path(text);
}

TEST(PlatformFolders, TempPathIsAnExistingFolderEndingInASeparator)
{
    XpPlatformString temp;
    ASSERT_TRUE(XpPlatformGetTempPath(temp));
    ASSERT_FALSE(temp.empty());
    EXPECT_TRUE(temp.back() == XP_T('/') || temp.back() == XP_T('\\'));
    EXPECT_TRUE(fs::is_directory(AsPath(temp)));

    XpPlatformString viaKind;
    EXPECT_TRUE(XpPlatformGetSpecialFolder(XpSpecialFolder::Temp, viaKind, nullptr));
    EXPECT_EQ(viaKind, temp);
}

TEST(PlatformFolders, ModulePathNamesTheRunningTestBinary)
{
    XpPlatformString module;
    ASSERT_TRUE(XpPlatformGetModulePath(module));
    EXPECT_TRUE(fs::is_regular_file(AsPath(module)));
    EXPECT_EQ(AsPath(module).stem(), fs::path("kestrow_tests"));
    EXPECT_TRUE(AsPath(module).is_absolute());
}

TEST(PlatformFolders, OnlyTheUsersMediaFoldersAreMadeOnFirstUseAndUnknownKindsHaveNone)
{
    for (int kind : {1, 2, 3, 4, 5, 11, 14, 15}) {
        XpPlatformString folder;
        bool create = !(kind <= 3);
        XpPlatformGetSpecialFolder(kind, folder, &create);
        EXPECT_EQ(create, kind <= 3) << kind;
    }
    for (int kind : {-1, 12, 16, 99}) {
        XpPlatformString folder;
        EXPECT_FALSE(XpPlatformGetSpecialFolder(kind, folder, nullptr)) << kind;
    }
}

#if defined(_WIN32)

TEST(PlatformFolders, UserFoldersAreAbsolutePaths)
{
    for (int kind :
         {XpSpecialFolder::Pictures, XpSpecialFolder::Documents, XpSpecialFolder::AppData, XpSpecialFolder::Profile}) {
        XpPlatformString folder;
        EXPECT_TRUE(XpPlatformGetSpecialFolder(kind, folder, nullptr)) << kind;
        EXPECT_TRUE(AsPath(folder).is_absolute()) << kind;
    }
}

#else

class PlatformFoldersPosix : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(TempFolderTest::SetUp());
        fs::create_directories(m_root / "home");
        m_home = (m_root / "home").string();
        m_env.Set("HOME", m_home + "/");
        m_env.Set("XDG_CONFIG_HOME", std::nullopt);
        m_env.Set("XDG_DATA_HOME", std::nullopt);
    }

    static std::string Folder(int kind)
    {
        XpPlatformString folder;
        if (!XpPlatformGetSpecialFolder(kind, folder, nullptr)) return "<none>";
        return AsPath(folder).string();
    }

    std::string m_home;
    kestrow_test::ScopedEnvironment m_env;
};

TEST_F(PlatformFoldersPosix, UserFoldersFollowHomeWhenNothingIsConfigured)
{
    EXPECT_EQ(Folder(XpSpecialFolder::Pictures), m_home + "/Pictures");
    EXPECT_EQ(Folder(XpSpecialFolder::Videos), m_home + "/Videos");
    EXPECT_EQ(Folder(XpSpecialFolder::Music), m_home + "/Music");
    EXPECT_EQ(Folder(XpSpecialFolder::Documents), m_home + "/Documents");
    EXPECT_EQ(Folder(XpSpecialFolder::Desktop), m_home + "/Desktop");
    EXPECT_EQ(Folder(XpSpecialFolder::AppData), m_home + "/.local/share");
    EXPECT_EQ(Folder(XpSpecialFolder::Profile), m_home);
    EXPECT_EQ(Folder(XpSpecialFolder::CommonAppData), "/var/lib");
    for (int kind : {6, 7, 8, 9, 10}) EXPECT_EQ(Folder(kind), "<none>") << kind;

    // A relative XDG_DATA_HOME is ignored; an absolute one is taken.
    m_env.Set("XDG_DATA_HOME", "relative/data");
    EXPECT_EQ(Folder(XpSpecialFolder::AppData), m_home + "/.local/share");
    m_env.Set("XDG_DATA_HOME", (m_root / "data").string());
    EXPECT_EQ(Folder(XpSpecialFolder::AppData), (m_root / "data").string());

    // Without $HOME the user's passwd entry gives the home folder.
    m_env.Set("HOME", std::nullopt);
    EXPECT_TRUE(fs::path(Folder(XpSpecialFolder::Profile)).is_absolute());
}

TEST_F(PlatformFoldersPosix, UserDirsFileNamesTheUsersFolders)
{
    const auto write = [](const fs::path& file) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "# written by xdg-user-dirs-update\n"
                               "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                               "  XDG_PICTURES_DIR=\"$HOME/Old\"\n"
                               "XDG_PICTURES_DIR=\"$HOME/My \\\"Photos\\\"\"\n"
                               "XDG_VIDEOS_DIR=\"/srv/videos/\"\n"
                               "XDG_MUSIC_DIR=\"Music somewhere\"\n"
                               "#XDG_DOCUMENTS_DIR=\"$HOME/Nope\"\n";
    };

    write(fs::path(m_home) / ".config" / "user-dirs.dirs");
    EXPECT_EQ(Folder(XpSpecialFolder::Desktop), m_home + "/Schreibtisch");
    EXPECT_EQ(Folder(XpSpecialFolder::Pictures), m_home + "/My \"Photos\"");
    EXPECT_EQ(Folder(XpSpecialFolder::Videos), "/srv/videos");
    EXPECT_EQ(Folder(XpSpecialFolder::Music), m_home + "/Music");  // relative values are ignored
    EXPECT_EQ(Folder(XpSpecialFolder::Documents), m_home + "/Documents");

    // $XDG_CONFIG_HOME moves the file; the one under ~/.config is then not read.
    m_env.Set("XDG_CONFIG_HOME", (m_root / "config").string());
    EXPECT_EQ(Folder(XpSpecialFolder::Desktop), m_home + "/Desktop");
    write(m_root / "config" / "user-dirs.dirs");
    EXPECT_EQ(Folder(XpSpecialFolder::Desktop), m_home + "/Schreibtisch");
}

TEST_F(PlatformFoldersPosix, TempPathFollowsTmpdirOnlyWhenItIsAFolder)
{
    const auto temp = [] {
        XpPlatformString path;
        EXPECT_TRUE(XpPlatformGetTempPath(path));
        return AsPath(path).string();
    };
    m_env.Set("TMPDIR", m_home);
    EXPECT_EQ(temp(), m_home + "/");
    m_env.Set("TMPDIR", m_home + "/missing");
    EXPECT_EQ(temp(), "/tmp/");
    m_env.Set("TMPDIR", std::nullopt);
    EXPECT_EQ(temp(), "/tmp/");
}

#endif

}  // namespace
