#include <gtest/gtest.h>

#include <string>

#include "platform/shared/XpPathRoot.h"

namespace {
constexpr XpPathStyle kWin = XpPathStyle::Windows;
constexpr XpPathStyle kPosix = XpPathStyle::Posix;
using K = XpRootKind;

struct Case {
    XpPathStyle style;
    const XpChar* path;
    XpRootKind kind;
    std::size_t prefix, length, rest;
};

std::string Ascii(const XpChar* text)
{
    std::string out;
    while (*text != 0) out += static_cast<char>(*text++);
    return out;
}
}  // namespace

TEST(XpPathRoot, EveryFormOfRoot)
{
    const Case cases[] = {
        // Drives: the root folder, and a drive's current folder without a separator.
        {kWin, XP_T("C:\\dir\\file"), K::Drive, 0, 3, 3},
        {kWin, XP_T("z:\\"), K::Drive, 0, 3, 3},
        {kWin, XP_T("C:\\\\x"), K::Drive, 0, 3, 3},
        {kWin, XP_T("C:"), K::DriveRelative, 0, 2, 2},
        {kWin, XP_T("C:dir\\file"), K::DriveRelative, 0, 2, 2},
        {kWin, XP_T("1:\\x"), K::None, 0, 0, 0},
        // The current drive's root.
        {kWin, XP_T("\\"), K::CurrentDrive, 0, 1, 1},
        {kWin, XP_T("\\dir\\file"), K::CurrentDrive, 0, 1, 1},
        // Shares: the root ends with the share's name; a separator may follow.
        {kWin, XP_T("\\\\server\\share\\dir"), K::Share, 0, 14, 15},
        {kWin, XP_T("\\\\server\\share\\"), K::Share, 0, 14, 15},
        {kWin, XP_T("\\\\server\\share"), K::Share, 0, 14, 14},
        {kWin, XP_T("\\\\server"), K::ServerOnly, 0, 8, 8},
        {kWin, XP_T("\\\\server\\"), K::ServerOnly, 0, 9, 9},
        {kWin, XP_T("\\\\s"), K::ServerOnly, 0, 3, 3},
        {kWin, XP_T("\\\\"), K::None, 0, 0, 0},
        // Behind the device prefixes.
        {kWin, XP_T("\\\\?\\C:\\dir"), K::Drive, 4, 7, 7},
        {kWin, XP_T("\\\\?\\C:"), K::Drive, 4, 6, 6},
        {kWin, XP_T("\\\\.\\d:\\"), K::Drive, 4, 7, 7},
        {kWin, XP_T("\\\\?\\UNC\\server\\share\\dir"), K::Share, 8, 20, 21},
        {kWin, XP_T("\\\\?\\unc\\server\\share"), K::Share, 8, 20, 20},
        {kWin, XP_T("\\\\?\\UNC\\server"), K::ServerOnly, 8, 14, 14},
        {kWin, XP_T("\\\\.\\PhysicalDrive0"), K::Device, 4, 18, 18},
        {kWin, XP_T("\\\\?\\Volume{1234}\\dir"), K::Device, 4, 16, 17},
        {kWin, XP_T("\\\\.\\"), K::Device, 4, 4, 4},
        {kWin, XP_T("\\\\?\\UNCX\\y"), K::Device, 4, 8, 9},
        // Relative paths.
        {kWin, XP_T(""), K::None, 0, 0, 0},
        {kWin, XP_T("file"), K::None, 0, 0, 0},
        {kWin, XP_T(".\\dir"), K::None, 0, 0, 0},
        {kWin, XP_T("..\\dir"), K::None, 0, 0, 0},
        {kWin, XP_T("/usr/bin"), K::None, 0, 0, 0},
        // POSIX: one root.
        {kPosix, XP_T("/usr/bin"), K::Posix, 0, 1, 1},
        {kPosix, XP_T("/"), K::Posix, 0, 1, 1},
        {kPosix, XP_T("//server/share"), K::Posix, 0, 1, 1},
        {kPosix, XP_T("usr/bin"), K::None, 0, 0, 0},
        {kPosix, XP_T(""), K::None, 0, 0, 0},
        {kPosix, XP_T("C:\\x"), K::None, 0, 0, 0},
        {kPosix, XP_T("\\\\server\\share"), K::None, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::size_t length = 0;
        while (c.path[length] != 0) ++length;
        const XpPathRoot root = XpParsePathRoot(c.path, length, c.style);
        const std::string name = Ascii(c.path) + (c.style == kWin ? " (Windows)" : " (POSIX)");
        EXPECT_EQ(root.kind, c.kind) << name;
        EXPECT_EQ(root.prefix, c.prefix) << name;
        EXPECT_EQ(root.length, c.length) << name;
        EXPECT_EQ(root.rest, c.rest) << name;
    }
}

TEST(XpPathRoot, ReadsOnlyTheGivenLength)
{
    // The text need not end where the length does: "C:\x" cut to 2 is a drive's current
    // folder, a share cut after the server names no share.
    EXPECT_EQ(XpParsePathRoot(XP_T("C:\\x"), 2, kWin).kind, K::DriveRelative);
    EXPECT_EQ(XpParsePathRoot(XP_T("\\\\server\\share"), 8, kWin).kind, K::ServerOnly);
    EXPECT_EQ(XpParsePathRoot(XP_T("\\\\?\\UNC\\s\\t"), 7, kWin).kind, K::Device);
    EXPECT_EQ(XpParsePathRoot(XP_T("/x"), 0, kPosix).kind, K::None);
    EXPECT_EQ(XpParsePathRoot(nullptr, 5, kWin).kind, K::None);
}
