// The user's locale identifiers: the mapping of POSIX locale names to Windows identifiers
// (compiled on both targets), and on Linux the order in which the environment's locale
// variables count.

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/PlatformLocale.h"
#include "platform/shared/XpLocaleName.h"

namespace {

TEST(LocaleName, LanguageAndTerritoryGiveTheWindowsIdentifier)
{
    EXPECT_EQ(XpLocaleIdFromName("ja_JP.UTF-8"), 1041u);
    EXPECT_EQ(XpLocaleIdFromName("de_DE.ISO-8859-1@euro"), 1031u);
    EXPECT_EQ(XpLocaleIdFromName("pt_BR"), 1046u);
    EXPECT_EQ(XpLocaleIdFromName("pt_PT.utf8"), 2070u);
    EXPECT_EQ(XpLocaleIdFromName("zh_CN.GB18030"), 2052u);
    EXPECT_EQ(XpLocaleIdFromName("zh_TW.UTF-8"), 1028u);
    EXPECT_EQ(XpLocaleIdFromName("es_ES.UTF-8"), 3082u);
    EXPECT_EQ(XpLocaleIdFromName("en-GB"), 2057u);
    EXPECT_EQ(XpLocaleIdFromName("EN_us"), 1033u);
    // A territory the table lacks: the language's main identifier.
    EXPECT_EQ(XpLocaleIdFromName("sv_AX.UTF-8"), 1053u);
    EXPECT_EQ(XpLocaleIdFromName("fr"), 1036u);
    for (const char* none : {"C", "C.UTF-8", "POSIX", "", "xx_YY", "_JP", "japanese"}) {
        EXPECT_EQ(XpLocaleIdFromName(none), 0u) << none;
    }
    EXPECT_EQ(XpLocaleIdFromName(nullptr), 0u);
}

#if !defined(_WIN32)
class UserLocale : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"}) m_environment.Set(name, std::nullopt);
    }
    kestrow_test::ScopedEnvironment m_environment;
};

TEST_F(UserLocale, VariablesCountInTheLibrarysOrder)
{
    EXPECT_EQ(XpPlatformUserDefaultLocale(), 0u);
    EXPECT_EQ(XpPlatformUserDefaultUiLanguage(), 0u);

    m_environment.Set("LANG", "fr_CA.UTF-8");
    m_environment.Set("LC_MESSAGES", "de_DE.UTF-8");
    EXPECT_EQ(XpPlatformUserDefaultLocale(), 3084u);
    EXPECT_EQ(XpPlatformUserDefaultUiLanguage(), 1031u);
    EXPECT_EQ(XpPlatformUserDefaultLanguage(), 3084u);

    // LANGUAGE names the interface's languages, the first known one counts...
    m_environment.Set("LANGUAGE", "xx:ko_KR:en");
    EXPECT_EQ(XpPlatformUserDefaultUiLanguage(), 1042u);
    EXPECT_EQ(XpPlatformUserDefaultLocale(), 3084u);
    // ...but not under the plain "C" locale, which turns it off.
    m_environment.Set("LC_ALL", "C.UTF-8");
    EXPECT_EQ(XpPlatformUserDefaultUiLanguage(), 0u);
    EXPECT_EQ(XpPlatformUserDefaultLocale(), 0u);
    // LC_ALL wins over the others.
    m_environment.Set("LC_ALL", "ru_RU.UTF-8");
    EXPECT_EQ(XpPlatformUserDefaultLocale(), 1049u);
    EXPECT_EQ(XpPlatformUserDefaultUiLanguage(), 1042u);
    m_environment.Set("LANGUAGE", "");
    EXPECT_EQ(XpPlatformUserDefaultUiLanguage(), 1049u);
}
#endif

}  // namespace
