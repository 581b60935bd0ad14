// Finding the version block in executable files: PE files made by the test build, small
// ELF images, and damaged copies of both, which must give "not found" or a block that the
// file holds, never a read outside the file.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "VersionBlockBuilder.h"
#include "foundation/version/XpVersionInfo.h"
#include "platform/PlatformVersion.h"
#include "platform/shared/XpExecutableImage.h"

namespace {

using kestrow_test::ToFs;

std::vector<unsigned char> FixtureBytes(const std::string& name)
{
    const std::filesystem::path path = ToFs(GetModulePath()).parent_path() / "version-fixtures" / (name + ".dll");
    const std::string bytes = kestrow_test::ReadWholeFile(path);
    EXPECT_FALSE(bytes.empty()) << path;
    return std::vector<unsigned char>(bytes.begin(), bytes.end());
}

bool Find(const std::vector<unsigned char>& image, std::vector<unsigned char>& block)
{
    return XpFindVersionBlock(XpMemoryByteSource(image.data(), image.size()), block);
}

// True when block is a run of bytes of image.
bool Within(const std::vector<unsigned char>& image, const std::vector<unsigned char>& block)
{
    if (block.empty() || block.size() > image.size()) return false;
    for (size_t at = 0; at + block.size() <= image.size(); ++at) {
        if (std::memcmp(image.data() + at, block.data(), block.size()) == 0) return true;
    }
    return false;
}

// A 64-bit little-endian ELF image: a null section, the section-name table, and one
// section of the given name, type and bytes.
std::vector<unsigned char> ElfImage(const std::string& sectionName, uint32_t type,
                                    const std::vector<unsigned char>& contents)
{
    const std::string names = std::string("\0.shstrtab\0", 11) + sectionName + '\0';
    const size_t namesAt = 64;
    const size_t contentsAt = namesAt + names.size();
    const size_t table = (contentsAt + contents.size() + 7) / 8 * 8;
    std::vector<unsigned char> image(table + 3 * 64, 0);
    std::memcpy(image.data(),
                "\x7F"
                "ELF\x02\x01\x01",
                7);
    std::memcpy(image.data() + namesAt, names.data(), names.size());
    if (!contents.empty()) std::memcpy(image.data() + contentsAt, contents.data(), contents.size());
    auto put = [&](size_t at, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    put(0x28, table, 8);  // section table
    put(0x3A, 64, 2);     // entry size
    put(0x3C, 3, 2);      // count
    put(0x3E, 1, 2);      // names' section
    put(table + 64 + 0, 1, 4);
    put(table + 64 + 4, 3, 4);  // SHT_STRTAB
    put(table + 64 + 0x18, namesAt, 8);
    put(table + 64 + 0x20, names.size(), 8);
    put(table + 128 + 0, 11, 4);
    put(table + 128 + 4, type, 4);
    put(table + 128 + 0x18, contentsAt, 8);
    put(table + 128 + 0x20, contents.size(), 8);
    return image;
}

TEST(XpExecutableImage, FindsTheVersionResourceOfPeFiles)
{
    for (const char* name : {"only1200", "several", "shorttable"}) {
        const std::vector<unsigned char> image = FixtureBytes(name);
        std::vector<unsigned char> block;
        ASSERT_TRUE(Find(image, block)) << name;
        EXPECT_TRUE(Within(image, block)) << name;
        EXPECT_EQ(block[0] | block[1] << 8, static_cast<int>(block.size())) << name;  // the whole node
    }
    std::vector<unsigned char> block;
    EXPECT_FALSE(Find(FixtureBytes("otherresource"), block));  // type 16 only under name 2
}

// The own reader and the system's (on Windows) agree about every fixture.
TEST(XpExecutableImage, AgreesWithThePlatformReader)
{
    const XpChar* paths[] = {XP_T("\\VarFileInfo\\Translation"), XP_T("\\StringFileInfo\\040904b0\\FileVersion"),
                             XP_T("\\StringFileInfo\\042103a4\\FileVersion"), XP_T("\\StringFileInfo\\x\\FileVersion")};
    for (const char* name : {"only1200", "several", "fallbackorder", "notable", "shorttable"}) {
        std::vector<unsigned char> own;
        ASSERT_TRUE(Find(FixtureBytes(name), own)) << name;
        std::vector<unsigned char> platform;
        const XpString path =
            kestrow_test::ToXp(ToFs(GetModulePath()).parent_path() / "version-fixtures" / (std::string(name) + ".dll"));
        ASSERT_EQ(XpPlatformReadVersionBlock(path.GetString(), platform), 0u) << name;
        for (const XpChar* sub : paths) {
            XpVersionValue mine;
            XpVersionValue theirs;
            const bool found = XpVersionBlockQuery(own.data(), own.size(), sub, &mine);
            ASSERT_EQ(XpPlatformQueryVersionBlock(platform, sub, &theirs), found) << name;
            if (!found) continue;
            EXPECT_EQ(mine.length, theirs.length) << name;
            const size_t bytes = std::min<size_t>(mine.length, 8);
            EXPECT_EQ(std::memcmp(mine.data, theirs.data, bytes), 0) << name;
        }
    }
}

TEST(XpExecutableImage, FindsTheVersionSectionOfElfImages)
{
    const std::vector<unsigned char> contents{0x10, 0x00, 0x00, 0x00, 'b', 'l', 'o', 'c', 'k'};
    std::vector<unsigned char> block;
    ASSERT_TRUE(Find(ElfImage(kXpVersionSectionName, 1, contents), block));
    EXPECT_EQ(block, contents);

    EXPECT_FALSE(Find(ElfImage(".vsversioninfo2", 1, contents), block));  // the whole name must match
    EXPECT_FALSE(Find(ElfImage(".vsversioninf", 1, contents), block));
    EXPECT_FALSE(Find(ElfImage(kXpVersionSectionName, 8, contents), block));  // no bytes in the file
}

// Every prefix of a file and every byte of it changed: the reader answers without reading
// outside the file (the sanitizer build watches the reads), and the whole file still
// gives its block.
TEST(XpExecutableImage, DamagedFilesNeverLeadOutside)
{
    const std::vector<unsigned char> pe = FixtureBytes("several");
    const std::vector<unsigned char> elf = ElfImage(kXpVersionSectionName, 1, std::vector<unsigned char>(40, 7));
    for (const std::vector<unsigned char>* whole : {&pe, &elf}) {
        std::vector<unsigned char> block;
        ASSERT_TRUE(Find(*whole, block));
        for (size_t size = 0; size < whole->size(); ++size) {
            const std::vector<unsigned char> cut(whole->begin(), whole->begin() + static_cast<std::ptrdiff_t>(size));
            if (Find(cut, block)) {
                EXPECT_LE(block.size(), size);
            }
        }
        std::vector<unsigned char> changed = *whole;
        for (size_t at = 0; at < changed.size(); ++at) {
            for (const unsigned char value : {0x00, 0xFF}) {
                const unsigned char was = changed[at];
                changed[at] = value;
                if (Find(changed, block)) {
                    EXPECT_LE(block.size(), changed.size());
                }
                changed[at] = was;
            }
        }
    }
}

}  // namespace
