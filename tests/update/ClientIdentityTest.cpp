// The client identity read from real registries: on Linux hive files in the test's own
// folder, on Windows the registry under Wine, below a key of the test's own that stands
// in for the roots, with the product folders in the test's temporary folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/PlatformLocale.h"
#include "registry/RegistryTestSupport.h"
#include "update/ClientIdentity.h"
#include "update/LanguageCode.h"

namespace fs = std::filesystem;

namespace {

using kestrow_test::Bytes;
using kestrow_test::Utf16Bytes;

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

class ClientIdentityKeys : public kestrow_test::RegistryTest {
protected:
    void SetUp() override
    {
        RegistryTest::SetUp();
#if !defined(_WIN32)
        // The user of these tests reads Japanese; nothing else names a language.
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"}) m_locale.Set(name, std::nullopt);
        m_locale.Set("LANG", "ja_JP.UTF-8");
#endif
        m_keyBase = XpKey() + XP_T("\\");
    }
    void TearDown() override
    {
#if !defined(_WIN32)
        m_locale.Restore();
#endif
        RegistryTest::TearDown();
    }

    // A key below the test's base, written as the product's installers write it.
    XpPlatformString At(const std::string& key) const
    {
        return Key(key);
    }
    void Machine(const std::string& key, const XpChar* name, const XpString& text)
    {
        SetString(XpRegRoot::LocalMachine, At(key), name, text.GetString());
    }
    void MachineValue(const std::string& key, const XpChar* name, uint32_t type, const Bytes& data)
    {
        SetValue(XpRegRoot::LocalMachine, At(key), name, type, data);
    }
    void Settings(const XpChar* name, uint32_t type, const Bytes& data)
    {
        SetValue(XpRegRoot::CurrentUser, At("SOFTWARE\\Norvale Corporation\\Vimbly\\Kestrow\\1.0\\Settings"), name,
                 type, data);
    }
    // The language the user's own locale gives when nothing installed names one.
    static std::string UsersLanguage()
    {
        return Narrow(ChooseLanguageCode(
            nullptr, nullptr,
            {XpPlatformUserDefaultLocale(), XpPlatformUserDefaultUiLanguage(), XpPlatformUserDefaultLanguage()}));
    }

    XpString m_keyBase;
#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment m_locale;
#endif
};

const char kVimbly[] = "SOFTWARE\\Norvale Corporation\\Vimbly";
const char kTessaro[] = "SOFTWARE\\Norvale Corporation\\Tessaro";

TEST_F(ClientIdentityKeys, NoHostProductGivesTheDefaults)
{
    ClientIdentity identity;
    identity.m_dwTestFlags = 99;
    FillClientIdentity(&identity, m_keyBase);
    EXPECT_TRUE(identity.m_strInstalledVersion.IsEmpty());
    EXPECT_EQ(Narrow(identity.m_strCountry), "XXX");
    EXPECT_EQ(Narrow(identity.m_strLanguage), UsersLanguage());
#if !defined(_WIN32)
    EXPECT_EQ(Narrow(identity.m_strLanguage), "JP");
#endif
    EXPECT_EQ(identity.m_dwTestFlags, 0u);
    EXPECT_TRUE(ReadTestClientVersion(m_keyBase).IsEmpty());
    // The program's own resource, found through its own path.
    EXPECT_EQ(Narrow(identity.m_strUpdaterVersion), "1.1.00.03150");
    EXPECT_GT(identity.m_osVersionInfo.majorVersion, 0u);
}

TEST_F(ClientIdentityKeys, InstalledVersionFromVimblyThenTessaro)
{
    MakeDir("vimbly");
    MakeDir("tessaro");
    WriteBytes("tessaro/Version.txt", "3.0.00.01000\r\n");
    Machine(kVimbly, XP_T("InstalledLocation"), Path("vimbly"));
    WriteBytes("vimbly/Version.txt", "4.2.01.12020\r\n4.3.00.00000\r\n");
    Machine(kTessaro, XP_T("InstalledLocation"), Path("tessaro"));
    EXPECT_EQ(Narrow(DetermineInstalledVersion(m_keyBase)), "4.2.01.12020");

    // An empty file gives nothing, and Tessaro's location is next.
    WriteBytes("vimbly/Version.txt", "");
    EXPECT_EQ(Narrow(DetermineInstalledVersion(m_keyBase)), "3.0.00.01000");

    // Tessaro's location is read directly: an expandable string is taken literally...
    MachineValue(kTessaro, XP_T("InstalledLocation"), XpRegType::ExpandSz, Utf16Bytes(Path("tessaro").GetString()));
    EXPECT_EQ(Narrow(DetermineInstalledVersion(m_keyBase)), "3.0.00.01000");
    // ...one without its terminator, or of another type, is not there.
    MachineValue(kTessaro, XP_T("InstalledLocation"), XpRegType::Sz, Utf16Bytes(Path("tessaro").GetString(), false));
    EXPECT_TRUE(DetermineInstalledVersion(m_keyBase).IsEmpty());
    MachineValue(kTessaro, XP_T("InstalledLocation"), XpRegType::Binary, Utf16Bytes(Path("tessaro").GetString()));
    EXPECT_TRUE(DetermineInstalledVersion(m_keyBase).IsEmpty());
}

TEST_F(ClientIdentityKeys, EmptyLocationsNeverReadTheCurrentFolder)
{
    // A "Version.txt" where the program happens to run.
    WriteBytes("Version.txt", "6.6.66.66666\r\n");
    const fs::path previous = fs::current_path();
    fs::current_path(m_root);
    Machine(kVimbly, XP_T("InstalledLocation"), XpString());
    Machine(kTessaro, XP_T("InstalledLocation"), XpString());
    const XpString empty = DetermineInstalledVersion(m_keyBase);
    Machine(kTessaro, XP_T("InstalledLocation"), XpString(XP_T(".")));
    const XpString relative = DetermineInstalledVersion(m_keyBase);
    fs::current_path(previous);
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_TRUE(relative.IsEmpty());
}

TEST_F(ClientIdentityKeys, CountryFromVimblyThenTessaroElseXXX)
{
    const std::string tessaroSettings = std::string(kTessaro) + "\\GlobalSettings\\1.0";
    Machine(tessaroSettings, XP_T("CountryOrAreaCode"), XpString(XP_T("FRA")));
    EXPECT_EQ(Narrow(DetermineCountryCode(m_keyBase)), "FRA");

    const std::string vimblySettings = std::string(kVimbly) + "\\GlobalSettings";
    Machine(vimblySettings, XP_T("CurrentVersion"), XpString(XP_T("5.0")));
    Machine(vimblySettings + "\\5.0", XP_T("CountryOrAreaCode"), XpString(XP_T("DEU")));
    EXPECT_EQ(Narrow(DetermineCountryCode(m_keyBase)), "DEU");
    // Vimbly's empty country gives way to Tessaro's.
    Machine(vimblySettings + "\\5.0", XP_T("CountryOrAreaCode"), XpString());
    EXPECT_EQ(Narrow(DetermineCountryCode(m_keyBase)), "FRA");

    // Tessaro's empty text, or one that is no string, is the unknown country.
    Machine(tessaroSettings, XP_T("CountryOrAreaCode"), XpString());
    EXPECT_EQ(Narrow(DetermineCountryCode(m_keyBase)), "XXX");
    MachineValue(tessaroSettings, XP_T("CountryOrAreaCode"), XpRegType::Dword, {0x31, 0, 0, 0});
    EXPECT_EQ(Narrow(DetermineCountryCode(m_keyBase)), "XXX");
}

TEST_F(ClientIdentityKeys, InstalledLanguageBeforeTheUsersLocale)
{
    Machine(kVimbly, XP_T("InstalledLanguage"), XpString(XP_T("1036")));
    Machine(kTessaro, XP_T("InstalledLanguage"), XpString(XP_T("1031")));
    EXPECT_EQ(Narrow(DetermineLanguageCode(m_keyBase)), "FR");
    // Not in the table: Tessaro's next, then the user's.
    Machine(kVimbly, XP_T("InstalledLanguage"), XpString(XP_T("1234")));
    EXPECT_EQ(Narrow(DetermineLanguageCode(m_keyBase)), "DE");
    MachineValue(kTessaro, XP_T("InstalledLanguage"), XpRegType::Dword, {0x07, 0x04, 0, 0});
    EXPECT_EQ(Narrow(DetermineLanguageCode(m_keyBase)), UsersLanguage());
    // The user reads Japanese, yet the installed language wins.
    Machine(kVimbly, XP_T("InstalledLanguage"), XpString(XP_T("1033")));
    EXPECT_EQ(Narrow(DetermineLanguageCode(m_keyBase)), "US");
}

TEST_F(ClientIdentityKeys, TestFlagsTakeUpToFourBytesOfAnyType)
{
    Settings(XP_T("TestFlag"), XpRegType::Dword, {5, 0, 0, 0});
    EXPECT_EQ(ReadTestFlags(m_keyBase), 5u);
    // One character and its terminator: the bytes as a number.
    Settings(XP_T("TestFlag"), XpRegType::Sz, Utf16Bytes(XP_T("7")));
    EXPECT_EQ(ReadTestFlags(m_keyBase), 0x37u);
    Settings(XP_T("TestFlag"), XpRegType::Binary, {0x04, 0x01});
    EXPECT_EQ(ReadTestFlags(m_keyBase), 0x104u);
    Settings(XP_T("TestFlag"), XpRegType::Sz, Utf16Bytes(XP_T("12")));
    EXPECT_EQ(ReadTestFlags(m_keyBase), 0u);
    Settings(XP_T("TestFlag"), XpRegType::Qword, {1, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(ReadTestFlags(m_keyBase), 0u);

    ClientIdentity identity;
    Settings(XP_T("TestFlag"), XpRegType::Dword, {4, 0, 0, 0});
    FillClientIdentity(&identity, m_keyBase);
    EXPECT_EQ(identity.m_dwTestFlags, 4u);
}

TEST_F(ClientIdentityKeys, TestClientVersionIsAStringReadDirectly)
{
    Settings(XP_T("TestClientVersion"), XpRegType::Sz, Utf16Bytes(XP_T("4.2.01.12020")));
    EXPECT_EQ(Narrow(ReadTestClientVersion(m_keyBase)), "4.2.01.12020");
    // 259 characters and the terminator fit; one more does not.
    const std::u16string longest(259, u'9');
    const XpPlatformString text(longest.begin(), longest.end());
    Settings(XP_T("TestClientVersion"), XpRegType::Sz, Utf16Bytes(text.c_str()));
    EXPECT_EQ(ReadTestClientVersion(m_keyBase).GetLength(), 259);
    Settings(XP_T("TestClientVersion"), XpRegType::Sz, Utf16Bytes((text + XP_T("9")).c_str()));
    EXPECT_TRUE(ReadTestClientVersion(m_keyBase).IsEmpty());
    Settings(XP_T("TestClientVersion"), XpRegType::MultiSz, Utf16Bytes(XP_T("4.2")));
    EXPECT_TRUE(ReadTestClientVersion(m_keyBase).IsEmpty());
}

TEST_F(ClientIdentityKeys, WholeInstallationInOneFill)
{
    MakeDir("vimbly");
    WriteBytes("vimbly/Version.txt", "4.2.01.12020\r\n");
    Machine(kVimbly, XP_T("InstalledLocation"), Path("vimbly"));
    Machine(kVimbly, XP_T("InstalledLanguage"), XpString(XP_T("3082")));
    Machine(std::string(kVimbly) + "\\GlobalSettings", XP_T("CurrentVersion"), XpString(XP_T("5.0")));
    Machine(std::string(kVimbly) + "\\GlobalSettings\\5.0", XP_T("CountryOrAreaCode"), XpString(XP_T("ESP")));
    ClientIdentity identity;
    FillClientIdentity(&identity, m_keyBase);
    EXPECT_EQ(Narrow(identity.m_strInstalledVersion), "4.2.01.12020");
    EXPECT_EQ(Narrow(identity.m_strLanguage), "ES");
    EXPECT_EQ(Narrow(identity.m_strCountry), "ESP");
}

}  // namespace
