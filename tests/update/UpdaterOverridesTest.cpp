// The administrator's settings of the updater read from real registries (hive files of
// the test's own on Linux, the registry under Wine below a key of the test's own): which
// values replace the compiled-in endpoints, and on Linux when the machine hive counts as
// written by an administrator only.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "registry/RegistryTestSupport.h"
#include "update/UpdateCheck.h"
#include "update/UpdaterOverrides.h"

namespace fs = std::filesystem;

namespace {

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

class UpdaterOverridesTest : public kestrow_test::RegistryTest {
protected:
    void Set(const XpChar* name, const XpChar* text)
    {
        SetString(XpRegRoot::LocalMachine, Key("SOFTWARE\\Norvale Corporation\\Vimbly\\Updater"), name, text);
    }
    UpdaterOverrides Read() const { return ReadUpdaterOverrides(XpKey() + XP_T("\\")); }
};

TEST_F(UpdaterOverridesTest, OnlyWebUrlsReplaceTheEndpoints)
{
    UpdaterOverrides read = Read();
    EXPECT_EQ(Narrow(read.checkEndpoint), Narrow(kProductionCheckEndpoint));
    EXPECT_EQ(Narrow(read.testCheckEndpoint), Narrow(kTestCheckEndpoint));
    EXPECT_TRUE(read.trustedRootsFolder.IsEmpty());

    Set(XP_T("CheckEndpoint"), XP_T("HTTPS://updates.example.net:8443/updater/check.php"));
    Set(XP_T("TestCheckEndpoint"), XP_T("http://10.0.0.7/updater/check.php"));
    Set(XP_T("TrustedRootsFolder"), XP_T("/etc/norvale/roots"));
    read = Read();
    EXPECT_EQ(Narrow(read.checkEndpoint), "HTTPS://updates.example.net:8443/updater/check.php");
    EXPECT_EQ(Narrow(read.testCheckEndpoint), "http://10.0.0.7/updater/check.php");
    EXPECT_EQ(Narrow(read.trustedRootsFolder), "/etc/norvale/roots");

    // Another scheme, no host, a path, blanks: the default stays.
    for (const XpChar* refused : {XP_T("file:///C:/updates/check.php"), XP_T("ftp://example.net/check.php"),
                                  XP_T("http://"), XP_T("https:///check.php"), XP_T("C:\\check.php"),
                                  XP_T("http://example.net/a b"), XP_T("httpx://example.net/"), XP_T("")}) {
        Set(XP_T("CheckEndpoint"), refused);
        EXPECT_EQ(Narrow(Read().checkEndpoint), Narrow(kProductionCheckEndpoint)) << Narrow(XpString(refused));
    }
    // Only string values count.
    SetValue(XpRegRoot::LocalMachine, Key("SOFTWARE\\Norvale Corporation\\Vimbly\\Updater"), XP_T("TestCheckEndpoint"),
             XpRegType::Binary, kestrow_test::Utf16Bytes(XP_T("http://10.0.0.8/")));
    EXPECT_EQ(Narrow(Read().testCheckEndpoint), Narrow(kTestCheckEndpoint));
}

#if !defined(_WIN32)
// On Linux the machine hive is a file: its values count only while nobody but root or the
// updater's own user can have written it or its folders.
TEST_F(UpdaterOverridesTest, AHiveOthersCanWriteIsIgnored)
{
    Set(XP_T("CheckEndpoint"), XP_T("https://admin.example.net/updater/check.php"));
    const fs::path hive = Native("registry") / "machine.reg";
    ASSERT_TRUE(fs::exists(hive));
    fs::permissions(hive,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(Narrow(Read().checkEndpoint), "https://admin.example.net/updater/check.php");

    for (const fs::perms extra : {fs::perms::group_write, fs::perms::others_write}) {
        fs::permissions(hive, extra, fs::perm_options::add);
        EXPECT_EQ(Narrow(Read().checkEndpoint), Narrow(kProductionCheckEndpoint));
        fs::permissions(hive, extra, fs::perm_options::remove);
    }
    // The folder: writable by others, and the same with its sticky bit.
    fs::permissions(Native("registry"), fs::perms::others_write, fs::perm_options::add);
    EXPECT_EQ(Narrow(Read().checkEndpoint), Narrow(kProductionCheckEndpoint));
    fs::permissions(Native("registry"), fs::perms::sticky_bit, fs::perm_options::add);
    EXPECT_EQ(Narrow(Read().checkEndpoint), "https://admin.example.net/updater/check.php");
    fs::permissions(Native("registry"), fs::perms::others_write | fs::perms::sticky_bit, fs::perm_options::remove);

    // A hive that is a link to a file elsewhere is nobody's own hive.
    fs::rename(hive, Native("machine.real"));
    fs::create_symlink(Native("machine.real"), hive);
    EXPECT_FALSE(XpPlatformRegMachineHiveIsProtected());
    EXPECT_EQ(Narrow(Read().checkEndpoint), Narrow(kProductionCheckEndpoint));
}
#endif

}  // namespace
