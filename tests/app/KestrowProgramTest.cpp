#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "LinkSupport.h"
#include "ProcessSupport.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class KestrowProgramTest : public kestrow_test::TempFolderTest {};

}  // namespace

TEST_F(KestrowProgramTest, AVersionFileLinkPlantedInTheWorkFolderLeavesItsTargetAlone)
{
    if (!kestrow_test::CanMakeLinks()) GTEST_SKIP() << "no way to plant links on this host";
    // Someone who can write the temporary folder made the work folder first and put a
    // link to another file where a version file would go.
    WriteBytes("victim.txt", "precious\n");
    MakeDir("tmp/Vimbly_Kestrow");
    ASSERT_TRUE(kestrow_test::MakeLink(m_root / "victim.txt", m_root / "tmp" / "Vimbly_Kestrow" / "Version.txt"));

    const fs::path program = kestrow_test::BuiltProgram("kestrow");
    ASSERT_TRUE(fs::exists(program)) << program.string();
    EXPECT_EQ(kestrow_test::RunWithTemporaryFolder(program, {"Vimbly_Kestrow"}, m_root / "tmp", m_root / "out.txt"), 0);
    const std::string output = ReadBytes("out.txt");
    EXPECT_NE(output.find("Vimbly Updater"), std::string::npos) << output;
    EXPECT_EQ(ReadBytes("victim.txt"), "precious\n") << output;
    // The clean-up after the failed update removed the work folder with the link in it as
    // a link, never with its target.
    kestrow_test::RemoveTreeWithLinks(m_root / "tmp");
}
