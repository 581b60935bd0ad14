#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "foundation/files/XpPathText.h"

namespace {

constexpr XpPathStyle kWin = XpPathStyle::Windows;
constexpr XpPathStyle kPosix = XpPathStyle::Posix;

// Readable failure messages: the string's code units as ASCII.
std::string A(const XpString& s)
{
    std::string out;
    for (int32_t i = 0; i < s.GetLength(); ++i) out += static_cast<char>(s.GetString()[i]);
    return out;
}

std::string Combine(const XpChar* folder, const XpChar* name, XpPathStyle style)
{
    return A(CombinePath(XpString(folder), XpString(name), style));
}

std::string Root(const XpChar* path, XpPathStyle style)
{
    return A(GetPathRoot(XpString(path), style));
}
std::string Name(const XpChar* path, XpPathStyle style)
{
    return A(GetFileNamePart(XpString(path), style));
}

std::pair<std::string, std::string> Split(const XpChar* path, XpPathStyle style)
{
    XpString folder(XP_T("junk")), title(XP_T("junk"));
    SplitPath(XpString(path), &folder, &title, style);
    EXPECT_EQ(A(folder), A(GetDirectoryPart(XpString(path), style)));
    EXPECT_EQ(A(title), A(GetFileTitle(XpString(path), style)));
    return {A(folder), A(title)};
}

using Parts = std::pair<std::string, std::string>;

}  // namespace

TEST(XpPathText, CombinePathPutsExactlyOneSeparatorBetween)
{
    EXPECT_EQ(Combine(XP_T("C:\\dir"), XP_T("\\file.txt"), kWin), "C:\\dir\\file.txt");
    EXPECT_EQ(Combine(XP_T("C:\\dir\\"), XP_T("file.txt"), kWin), "C:\\dir\\file.txt");
    EXPECT_EQ(Combine(XP_T("C:\\dir\\"), XP_T("\\file.txt"), kWin), "C:\\dir\\file.txt");
    EXPECT_EQ(Combine(XP_T(""), XP_T("\\file.txt"), kWin), "\\file.txt");
    EXPECT_EQ(Combine(XP_T("C:\\dir"), XP_T(""), kWin), "C:\\dir\\");
    // Only one leading separator of the name is dropped; "/" is a plain character here.
    EXPECT_EQ(Combine(XP_T("C:\\dir"), XP_T("\\\\x"), kWin), "C:\\dir\\\\x");
    EXPECT_EQ(Combine(XP_T("C:\\dir"), XP_T("/x"), kWin), "C:\\dir\\/x");

    EXPECT_EQ(Combine(XP_T("/tmp/dir"), XP_T("/file.txt"), kPosix), "/tmp/dir/file.txt");
    EXPECT_EQ(Combine(XP_T("/"), XP_T("etc"), kPosix), "/etc");
    EXPECT_EQ(Combine(XP_T(""), XP_T("file"), kPosix), "file");
    EXPECT_EQ(Combine(XP_T("dir"), XP_T("\\x"), kPosix), "dir/\\x");
}

TEST(XpPathText, SplitPathCutsAtTheLastSeparatorAndTheNamesLastDot)
{
    EXPECT_EQ(Split(XP_T("C:\\dir\\file.tar.gz"), kWin), Parts("C:\\dir\\", "file.tar"));
    // A dot in a folder's name is no extension.
    EXPECT_EQ(Split(XP_T("C:\\my.folder\\README"), kWin), Parts("C:\\my.folder\\", "README"));
    // One trailing separator is ignored: the folder's own name becomes the title.
    EXPECT_EQ(Split(XP_T("C:\\a\\b.d\\"), kWin), Parts("C:\\a\\", "b"));
    EXPECT_EQ(Split(XP_T("file.txt"), kWin), Parts("", "file"));
    EXPECT_EQ(Split(XP_T(".profile"), kWin), Parts("", ""));
    EXPECT_EQ(Split(XP_T("\\"), kWin), Parts("\\", ""));
    EXPECT_EQ(Split(XP_T(""), kWin), Parts("", ""));
    EXPECT_EQ(Split(XP_T("C:\\"), kWin), Parts("", "C:"));

    EXPECT_EQ(Split(XP_T("/home/u/my.folder/README"), kPosix), Parts("/home/u/my.folder/", "README"));
    EXPECT_EQ(Split(XP_T("/home/u/pic.jpeg"), kPosix), Parts("/home/u/", "pic"));
    EXPECT_EQ(Split(XP_T("/home/u/"), kPosix), Parts("/home/", "u"));
    EXPECT_EQ(Split(XP_T("/"), kPosix), Parts("/", ""));
    // The other rule set's separator is an ordinary character.
    EXPECT_EQ(Split(XP_T("a\\b.c"), kPosix), Parts("", "a\\b"));
}

TEST(XpPathText, GetFileNamePartIgnoresOneTrailingSeparator)
{
    EXPECT_EQ(Name(XP_T("C:\\dir\\file.txt"), kWin), "file.txt");
    EXPECT_EQ(Name(XP_T("C:\\photos\\2019\\"), kWin), "2019");
    EXPECT_EQ(Name(XP_T("name"), kWin), "name");
    EXPECT_EQ(Name(XP_T("name\\"), kWin), "name");
    EXPECT_EQ(Name(XP_T("\\"), kWin), "");
    EXPECT_EQ(Name(XP_T(""), kWin), "");

    EXPECT_EQ(Name(XP_T("/var/photos/2019/"), kPosix), "2019");
    EXPECT_EQ(Name(XP_T("/var/x.jpg"), kPosix), "x.jpg");
    EXPECT_EQ(Name(XP_T("/"), kPosix), "");
}

TEST(XpPathText, GetPathRootOfWindowsPaths)
{
    EXPECT_EQ(Root(XP_T("C:\\dir\\file"), kWin), "C:\\");
    EXPECT_EQ(Root(XP_T("d:\\"), kWin), "d:\\");
    EXPECT_EQ(Root(XP_T("\\dir\\file"), kWin), "\\");
    EXPECT_EQ(Root(XP_T("\\"), kWin), "\\");
    EXPECT_EQ(Root(XP_T("\\\\server\\share\\dir\\file"), kWin), "\\\\server\\share");
    EXPECT_EQ(Root(XP_T("\\\\server\\share"), kWin), "\\\\server\\share");
    // Without a share part the whole text is the root.
    EXPECT_EQ(Root(XP_T("\\\\server"), kWin), "\\\\server");
    EXPECT_EQ(Root(XP_T("\\\\server\\"), kWin), "\\\\server\\");
    EXPECT_EQ(Root(XP_T("\\\\s"), kWin), "\\\\s");
    EXPECT_EQ(Root(XP_T("\\\\"), kWin), "");
    // Relative paths have no root.
    EXPECT_EQ(Root(XP_T("dir\\file"), kWin), "");
    EXPECT_EQ(Root(XP_T("file"), kWin), "");
    EXPECT_EQ(Root(XP_T(".\\dir\\file"), kWin), "");
    EXPECT_EQ(Root(XP_T("..\\dir"), kWin), "");
    EXPECT_EQ(Root(XP_T("C:"), kWin), "");
    EXPECT_EQ(Root(XP_T("C:dir\\file"), kWin), "");
    EXPECT_EQ(Root(XP_T(""), kWin), "");
    EXPECT_EQ(Root(XP_T("/usr/bin"), kWin), "");
}

TEST(XpPathText, GetPathRootOfPosixPaths)
{
    EXPECT_EQ(Root(XP_T("/usr/bin"), kPosix), "/");
    EXPECT_EQ(Root(XP_T("/"), kPosix), "/");
    EXPECT_EQ(Root(XP_T("//server/share/x"), kPosix), "/");
    EXPECT_EQ(Root(XP_T("usr/bin"), kPosix), "");
    EXPECT_EQ(Root(XP_T("./x"), kPosix), "");
    EXPECT_EQ(Root(XP_T("."), kPosix), "");
    EXPECT_EQ(Root(XP_T("C:\\x"), kPosix), "");
    EXPECT_EQ(Root(XP_T(""), kPosix), "");
}

TEST(XpPathText, NativeRulesAreTheTargets)
{
    // The standard library knows the target's own rules: its preferred separator, and the
    // root it finds in a real absolute path.
    EXPECT_EQ(XpPathSeparator(), XpChar(std::filesystem::path::preferred_separator));
    const std::filesystem::path folder = std::filesystem::temp_directory_path();
    ASSERT_TRUE(folder.is_absolute());
    EXPECT_EQ(A(GetPathRoot(kestrow_test::ToXp(folder))), A(kestrow_test::ToXp(folder.root_path())));
    const std::filesystem::path current = std::filesystem::current_path();
    EXPECT_EQ(A(GetPathRoot(kestrow_test::ToXp(current))), A(kestrow_test::ToXp(current.root_path())));
}

TEST(XpPathText, EmptyAndDriveRelativePathsNameNoFolderOfTheirOwn)
{
    for (const XpChar* path : {XP_T(""), XP_T("Q:"), XP_T("q:"), XP_T("Q:foo"), XP_T("Q:foo\\bar")})
        EXPECT_TRUE(IsEmptyOrDriveRelative(XpString(path), kWin)) << A(XpString(path));
    for (const XpChar* path : {XP_T("Q:\\"), XP_T("Q:\\foo"), XP_T("Q:/foo"), XP_T("foo"), XP_T("\\foo"),
                               XP_T("\\\\server\\share"), XP_T("1:foo"), XP_T(".")})
        EXPECT_FALSE(IsEmptyOrDriveRelative(XpString(path), kWin)) << A(XpString(path));
    // Linux has no drives: "Q:" is a plain relative name there.
    EXPECT_TRUE(IsEmptyOrDriveRelative(XpString(), kPosix));
    EXPECT_FALSE(IsEmptyOrDriveRelative(XpString(XP_T("Q:")), kPosix));
}
