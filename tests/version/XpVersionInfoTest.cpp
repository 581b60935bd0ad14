// Version strings of real PE files that the test build makes with the resource compiler
// (version-fixtures/ beside the test program), and of the running program itself, which
// carries the program's own version resource on both targets.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "VersionBlockBuilder.h"
#include "foundation/version/XpVersionInfo.h"
#include "platform/PlatformText.h"
#include "platform/PlatformVersion.h"

namespace {

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

using kestrow_test::ToFs;
using kestrow_test::ToXp;

std::filesystem::path ProgramFolder()
{
    return ToFs(GetModulePath()).parent_path();
}

XpString Fixture(const std::string& name)
{
    return ToXp(ProgramFolder() / "version-fixtures" / (name + ".dll"));
}

XpString FixtureFileVersion(const std::string& name, uint32_t codePage)
{
    std::vector<unsigned char> block;
    EXPECT_EQ(XpPlatformReadVersionBlock(Fixture(name).GetString(), block), 0u) << name;
    return GetVersionBlockString(block, XP_T("FileVersion"), codePage);
}

TEST(XpVersionInfo, TranslationTableChoosesTheAnsiCodePageEntryElseTheFirst)
{
    // Code page 1200 only: entry 0, whatever the ANSI code page.
    EXPECT_EQ(Narrow(FixtureFileVersion("only1200", 1252)), "2.0.1200");
    EXPECT_EQ(Narrow(FixtureFileVersion("only1200", 932)), "2.0.1200");

    // Several entries: the first of the ANSI code page, else entry 0.
    EXPECT_EQ(Narrow(FixtureFileVersion("several", 1252)), "entry2-1252");
    EXPECT_EQ(Narrow(FixtureFileVersion("several", 932)), "entry1-932");
    EXPECT_EQ(Narrow(FixtureFileVersion("several", 65001)), "entry0-1200");

    // No translation table: nothing, although a string table is there.
    EXPECT_TRUE(FixtureFileVersion("notable", 1200).IsEmpty());
}

TEST(XpVersionInfo, FixedCombinationsWhenTheTableLeadsNowhere)
{
    // Code pages are the outer loop: 932 with language 0421 comes before 1200 with 0401.
    EXPECT_EQ(Narrow(FixtureFileVersion("fallbackorder", 1252)), "fallback-932-0421");
    // The last combination is tried; a language outside the list is not.
    EXPECT_EQ(Narrow(FixtureFileVersion("fallbacklast", 1252)), "fallback-1256-100c");
    EXPECT_TRUE(FixtureFileVersion("fallbackmiss", 1252).IsEmpty());
    // A translation table of 2 bytes has no entry 0 to read: straight to the combinations.
    EXPECT_EQ(Narrow(FixtureFileVersion("shorttable", 1252)), "short");
}

TEST(XpVersionInfo, FileVersionStringUsesTheSystemCodePage)
{
    const uint32_t acp = XpPlatformAnsiCodePage();
    const char* expected = acp == 1252 ? "entry2-1252" : acp == 932 ? "entry1-932" : "entry0-1200";
    EXPECT_EQ(Narrow(GetFileVersionString(Fixture("several").GetString())), expected);
    EXPECT_EQ(Narrow(GetModuleVersion(Fixture("only1200").GetString())), "2.0.1200");
}

class XpVersionInfoFiles : public kestrow_test::TempFolderTest {};

TEST_F(XpVersionInfoFiles, FilesWithoutAReadableVersionGiveEmpty)
{
    WriteBytes("text.dll", "MZ but nothing more\r\n");
    WriteBytes("empty.dll", "");
    MakeDir("folder.dll");
    EXPECT_TRUE(GetFileVersionString(Path("missing.dll").GetString()).IsEmpty());
    EXPECT_TRUE(GetFileVersionString(Path("text.dll").GetString()).IsEmpty());
    EXPECT_TRUE(GetFileVersionString(Path("empty.dll").GetString()).IsEmpty());
    EXPECT_TRUE(GetFileVersionString(Path("folder.dll").GetString()).IsEmpty());
    EXPECT_TRUE(GetFileVersionString(nullptr).IsEmpty());
    // Resources, but none of type 16 with name 1.
    EXPECT_TRUE(GetFileVersionString(Fixture("otherresource").GetString()).IsEmpty());

    std::vector<unsigned char> block{1, 2, 3};
    EXPECT_NE(XpPlatformReadVersionBlock(Path("text.dll").GetString(), block), 0u);
    EXPECT_TRUE(block.empty());
}

TEST(XpVersionInfo, TheRunningProgramCarriesTheProductVersionResource)
{
    const XpString self = GetModulePath();
    const std::filesystem::path selfPath = ToFs(self);
    EXPECT_TRUE(selfPath.is_absolute());
    EXPECT_TRUE(std::filesystem::is_regular_file(selfPath));
    EXPECT_EQ(selfPath.stem().string(), "kestrow_tests");

    EXPECT_EQ(Narrow(GetModuleVersion(nullptr)), "1.1.00.03150");
    std::vector<unsigned char> block;
    ASSERT_EQ(XpPlatformReadVersionBlock(self.GetString(), block), 0u);
    const struct {
        const XpChar* name;
        const XpChar* text;
    } strings[] = {
        {XP_T("FileVersion"), XP_T("1.1.00.03150")},        {XP_T("ProductVersion"), XP_T("5.6.00.03150")},
        {XP_T("FileDescription"), XP_T("Vimbly Updater")},  {XP_T("InternalName"), XP_T("Kestrow")},
        {XP_T("OriginalFilename"), XP_T("Kestrow.exe")},    {XP_T("ProductName"), XP_T("Vimbly")},
        {XP_T("CompanyName"), XP_T("Norvale Corporation")}, {XP_T("Comments"), XP_T("Vimbly Update Program")},
    };
    for (const auto& entry : strings) {
        EXPECT_EQ(GetVersionBlockString(block, entry.name, XpPlatformAnsiCodePage()), XpString(entry.text));
    }

    // The program itself, built from the same resource definition.
#if defined(_WIN32)
    const std::filesystem::path program = ProgramFolder().parent_path() / "app" / "kestrow.exe";
#else
    const std::filesystem::path program = ProgramFolder().parent_path() / "app" / "kestrow";
#endif
    EXPECT_EQ(Narrow(GetFileVersionString(ToXp(program).GetString())), "1.1.00.03150");
}

// Hand-made blocks for what no resource compiler writes.
TEST(XpVersionInfo, OddTablesAndLongTexts)
{
    using kestrow_test::BuildVersionBlock;
    using kestrow_test::VersionNode;
    // A 3-byte table is shorter than one entry as well.
    VersionNode root{u"VS_VERSION_INFO", std::vector<unsigned char>(52, 0), false, {}};
    root.children.push_back(
        {u"StringFileInfo", {}, true, {{u"040904b0", {}, true, {VersionNode::String(u"FileVersion", u"odd")}}}});
    root.children.push_back({u"VarFileInfo", {}, true, {{u"Translation", {0x09, 0x04, 0xB0}, false, {}}}});
    EXPECT_EQ(Narrow(GetVersionBlockString(BuildVersionBlock(root), XP_T("FileVersion"), 1252)), "odd");

    // A text longer than the buffer comes back cut to 255 characters.
    const std::u16string longText(300, u'7');
    const std::vector<uint16_t> table{0x0409, 1200};
    const std::vector<unsigned char> block = BuildVersionBlock({{u"040904b0", longText}}, &table);
    const XpString text = GetVersionBlockString(block, XP_T("FileVersion"), 1252);
    EXPECT_EQ(text.GetLength(), 255);
    EXPECT_EQ(text.GetString()[254], XP_T('7'));

    EXPECT_TRUE(GetVersionBlockString({}, XP_T("FileVersion"), 1252).IsEmpty());
}

}  // namespace
