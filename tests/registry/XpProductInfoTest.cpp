// The product helpers against a product branch of the test's own in HKEY_LOCAL_MACHINE
// and a product folder in the test's temporary folder.

#include <gtest/gtest.h>

#include <filesystem>

#include "RegistryTestSupport.h"
#include "foundation/files/XpPathText.h"
#include "foundation/registry/XpProductInfo.h"

namespace fs = std::filesystem;

namespace {

// Runs the test from another current folder, and goes back afterwards.
class ScopedCurrentFolder {
public:
    explicit ScopedCurrentFolder(const fs::path& folder) : m_previous(fs::current_path()) { fs::current_path(folder); }
    ~ScopedCurrentFolder() { fs::current_path(m_previous); }

private:
    fs::path m_previous;
};

class ProductInfo : public kestrow_test::RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
        m_product = Key("Vimbly");
        MakeDir("product");
    }
    XpString Product() const { return XpString(m_product.c_str(), static_cast<int32_t>(m_product.size())); }
    void SetProduct(const std::string& relative, const XpChar* name, const XpString& text)
    {
        XpPlatformString key = m_product;
        if (!relative.empty()) key += XpChar('\\') + XpPlatformString(relative.begin(), relative.end());
        SetString(XpRegRoot::LocalMachine, key, name, text.GetString());
    }
    // The product folder as the installer writes it: no separator at the end.
    XpString Folder() const { return Path("product"); }

    XpPlatformString m_product;
};

TEST_F(ProductInfo, InstalledVersionIsTheFirstLineOfVersionTxt)
{
    SetProduct("", XP_T("InstalledLocation"), Folder());
    EXPECT_TRUE(ReadInstalledVersion(Product()).IsEmpty());  // no file yet

    WriteBytes("product/Version.txt", "4.2.01.12020\r\n5.0.00.00000\r\n");
    EXPECT_EQ(ReadInstalledVersion(Product()), XpString(XP_T("4.2.01.12020")));
    WriteBytes("product/Version.txt", "");
    EXPECT_TRUE(ReadInstalledVersion(Product()).IsEmpty());

    // A folder named Version.txt is no version file.
    fs::remove(Native("product/Version.txt"));
    MakeDir("product/Version.txt");
    EXPECT_TRUE(ReadInstalledVersion(Product()).IsEmpty());
    EXPECT_TRUE(ReadInstalledVersion(Product() + XP_T("Missing")).IsEmpty());
}

TEST_F(ProductInfo, AnEmptyOrRelativeLocationNeverReadsTheCurrentFolder)
{
    WriteBytes("Version.txt", "9.9.9\r\n");
    WriteBytes("product/Version.txt", "9.9.9\r\n");
    const ScopedCurrentFolder here(m_root);
    for (const XpChar* location : {XP_T(""), XP_T("."), XP_T("product")}) {
        SetProduct("", XP_T("InstalledLocation"), XpString(location));
        EXPECT_TRUE(ReadInstalledVersion(Product()).IsEmpty()) << XpString(location).ToNarrow().GetString();
    }
    EXPECT_TRUE(ReadVersionFile(XpString()).IsEmpty());
    EXPECT_EQ(ReadVersionFile(Folder()), XpString(XP_T("9.9.9")));
}

TEST_F(ProductInfo, CountryComesFromTheSubKeyThatCurrentVersionNames)
{
    SetProduct("GlobalSettings", XP_T("CurrentVersion"), XpString(XP_T("5.0")));
    EXPECT_TRUE(ReadCountryOrAreaCode(Product()).IsEmpty());
    SetProduct("GlobalSettings\\5.0", XP_T("CountryOrAreaCode"), XpString(XP_T("DEU")));
    EXPECT_EQ(ReadCountryOrAreaCode(Product()), XpString(XP_T("DEU")));

    // An empty CurrentVersion opens no sub-key: GlobalSettings' own value is not read.
    SetProduct("GlobalSettings", XP_T("CountryOrAreaCode"), XpString(XP_T("XYZ")));
    SetProduct("GlobalSettings", XP_T("CurrentVersion"), XpString());
    EXPECT_TRUE(ReadCountryOrAreaCode(Product()).IsEmpty());
}

TEST_F(ProductInfo, ComponentPathJoinsItsLocationAndExecutable)
{
    SetProduct("VolumeWatcher", XP_T("CurrentVersion"), XpString(XP_T("2.1")));
    SetProduct("VolumeWatcher\\2.1", XP_T("InstalledLocation"), Folder());
    SetProduct("VolumeWatcher\\2.1", XP_T("ExeName"), XpString(XP_T("VolumeWatcher.exe")));
    const XpString watcher(XP_T("VolumeWatcher"));
    EXPECT_EQ(GetComponentExePath(Product(), watcher), CombinePath(Folder(), XpString(XP_T("VolumeWatcher.exe"))));
    EXPECT_TRUE(GetComponentExePath(Product(), XpString()).IsEmpty());
    EXPECT_TRUE(GetComponentExePath(Product(), XpString(XP_T("Other"))).IsEmpty());

    // Never a bare file name, a bare folder or a name in the current folder.
    SetProduct("VolumeWatcher\\2.1", XP_T("ExeName"), XpString());
    EXPECT_TRUE(GetComponentExePath(Product(), watcher).IsEmpty());
    SetProduct("VolumeWatcher\\2.1", XP_T("ExeName"), XpString(XP_T("VolumeWatcher.exe")));
    SetProduct("VolumeWatcher\\2.1", XP_T("InstalledLocation"), XpString());
    EXPECT_TRUE(GetComponentExePath(Product(), watcher).IsEmpty());
    SetProduct("VolumeWatcher\\2.1", XP_T("InstalledLocation"), XpString(XP_T("bin")));
    EXPECT_TRUE(GetComponentExePath(Product(), watcher).IsEmpty());
    // An empty CurrentVersion would name the component's own key.
    SetProduct("VolumeWatcher", XP_T("InstalledLocation"), Folder());
    SetProduct("VolumeWatcher", XP_T("ExeName"), XpString(XP_T("VolumeWatcher.exe")));
    SetProduct("VolumeWatcher", XP_T("CurrentVersion"), XpString());
    EXPECT_TRUE(GetComponentExePath(Product(), watcher).IsEmpty());
}

#if !defined(_WIN32)
// The plain helpers read the host product's own branch; on Linux that is safe to
// write, in the test's own hive.
TEST_F(ProductInfo, ThePlainHelpersReadTheHostProductsBranch)
{
    const XpPlatformString product(kXpProductKey);
    SetString(XpRegRoot::LocalMachine, product, XP_T("InstalledLocation"), Folder().GetString());
    WriteBytes("product/Version.txt", "4.2.01.12020\n");
    SetString(XpRegRoot::LocalMachine, product + XP_T("\\GlobalSettings"), XP_T("CurrentVersion"), XP_T("5.0"));
    SetString(XpRegRoot::LocalMachine, product + XP_T("\\GlobalSettings\\5.0"), XP_T("CountryOrAreaCode"), XP_T("JPN"));
    EXPECT_EQ(ReadInstalledVersion(), XpString(XP_T("4.2.01.12020")));
    EXPECT_EQ(ReadCountryOrAreaCode(), XpString(XP_T("JPN")));
    EXPECT_TRUE(GetComponentExePath(XpString(XP_T("VolumeWatcher"))).IsEmpty());
}
#endif

}  // namespace
