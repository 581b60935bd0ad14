#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "foundation/XpResult.h"

// The expected codes are the library's published tables, written out as numbers.

TEST(XpResult, WindowsErrorsMapByTheTable)
{
    const struct {
        uint32_t error;
        XpResult code;
    } table[] = {
        {0, 0},
        {2, 0x8105},
        {3, 0x8106},
        {15, 0x8106},
        {4, 0x810B},
        {5, 0x8108},
        {19, 0x8108},
        {32, 0x8108},
        {65, 0x8108},
        {8, 0x8401},
        {14, 0x8401},
        {21, 0x811A},
        {55, 0x811A},
        {38, 0x8103},
        {39, 0x8109},
        {112, 0x8109},
        {80, 0x810A},
        {183, 0x810A},
        {110, 0x810D},
        {145, 0x8117},
        {4307, 0x8117},
        {10066, 0x8117},
        {1006, 0x8119},
        // The link-safe file layer's own: a link where none may be followed, a folder that
        // another user owns or that others can write.
        {681, 0x811B},
        {1307, 0x811C},
        {1338, 0x811C},
    };
    std::set<uint32_t> mapped;
    for (const auto& row : table) {
        EXPECT_EQ(XpMapWindowsError(row.error), row.code) << row.error;
        mapped.insert(row.error);
    }
    // Everything else is the generic failure: every number up to 11000 that the table
    // leaves out, and a few far beyond it.
    for (uint32_t error = 1; error <= 11000; ++error) {
        if (mapped.count(error) == 0) {
            EXPECT_EQ(XpMapWindowsError(error), 0x8000u) << error;
        }
    }
    for (const uint32_t error : {0x10000u, 0x80070005u, 0xFFFFFFFFu}) EXPECT_EQ(XpMapWindowsError(error), 0x8000u);
}

TEST(XpResult, RunTimeErrorsMapByTheTable)
{
    // errno as the Windows C run-time numbers it: ENOENT 2, EBADF 9, EACCES 13, EEXIST 17,
    // ENOTDIR 20, EISDIR 21, EINVAL 22, EMFILE 24, ENOSPC 28, EROFS 30, name too long 38.
    const struct {
        int error;
        XpResult code;
    } table[] = {
        {2, 0x8111},  {9, 0x8108},  {13, 0x8108}, {30, 0x8108}, {17, 0x810A}, {20, 0x8101},
        {21, 0x8101}, {38, 0x8101}, {22, 0x8102}, {24, 0x810B}, {28, 0x8109},
    };
    std::set<int> mapped;
    for (const auto& row : table) {
        EXPECT_EQ(XpMapCrtError(row.error), row.code) << row.error;
        mapped.insert(row.error);
    }
    for (int error = -5; error <= 200; ++error) {
        if (mapped.count(error) == 0) {
            EXPECT_EQ(XpMapCrtError(error), 0x8100u) << error;
        }
    }
}

TEST(XpResult, OperationsThatReadErrorsTheirOwnWay)
{
    // A failed delete: mapped codes stay, the generic one becomes "delete failed".
    EXPECT_EQ(XpMapDeleteError(5), 0x8108u);
    EXPECT_EQ(XpMapDeleteError(2), 0x8105u);
    EXPECT_EQ(XpMapDeleteError(145), 0x8117u);
    EXPECT_EQ(XpMapDeleteError(31), 0x810Fu);
    EXPECT_EQ(XpMapDeleteError(0), 0u);

    // The recycle bin: 0 and the shell's 0x10000 are done; anything else failed to delete.
    EXPECT_EQ(XpMapRecycleError(0), 0u);
    EXPECT_EQ(XpMapRecycleError(0x10000), 0u);
    EXPECT_EQ(XpMapRecycleError(8), 0x8401u);
    for (const uint32_t error : {2u, 5u, 1223u, 0x78u, 0x402u}) EXPECT_EQ(XpMapRecycleError(error), 0x810Fu) << error;

    // A failed open: the generic code says which way the file was opened.
    EXPECT_EQ(XpMapOpenError(32, false), 0x8108u);
    EXPECT_EQ(XpMapOpenError(2, true), 0x8105u);
    EXPECT_EQ(XpMapOpenError(87, false), 0x810Du);
    EXPECT_EQ(XpMapOpenError(87, true), 0x8111u);

    // _wmkdir: EEXIST, ENOENT, EROFS and EACCES by name; anything else by the parent.
    EXPECT_EQ(XpMapMkdirError(17, false), 0x810Au);
    EXPECT_EQ(XpMapMkdirError(2, true), 0x8106u);
    EXPECT_EQ(XpMapMkdirError(30, false), 0x8108u);
    EXPECT_EQ(XpMapMkdirError(13, false), 0x8108u);
    EXPECT_EQ(XpMapMkdirError(22, true), 0x8112u);
    EXPECT_EQ(XpMapMkdirError(22, false), 0x8106u);
    EXPECT_EQ(XpMapMkdirError(38, true), 0x8112u);

    // An exclusive create of a new file: four named errors, everything else 0x8100.
    EXPECT_EQ(XpMapCreateNewFileError(0), 0u);
    EXPECT_EQ(XpMapCreateNewFileError(13), 0x8108u);
    EXPECT_EQ(XpMapCreateNewFileError(17), 0x810Au);
    EXPECT_EQ(XpMapCreateNewFileError(22), 0x8102u);
    EXPECT_EQ(XpMapCreateNewFileError(24), 0x810Bu);
    for (const int error : {2, 9, 20, 28, 30}) EXPECT_EQ(XpMapCreateNewFileError(error), 0x8100u) << error;
}
