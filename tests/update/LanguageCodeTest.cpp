// The language code: exact look-ups in the table of locale identifiers, and the order in
// which the installed languages and the user's locales are tried.

#include <gtest/gtest.h>

#include "update/LanguageCode.h"

namespace {

TEST(LanguageCode, LooksUpExactDecimalTextOnly)
{
    EXPECT_EQ(LookupLanguageCode(XP_T("1041")), XpString(XP_T("JP")));
    EXPECT_EQ(LookupLanguageCode(XP_T("3082")), XpString(XP_T("ES")));
    EXPECT_EQ(LookupLanguageCode(XP_T("2052")), XpString(XP_T("CS")));
    EXPECT_EQ(LookupLanguageCode(1036u), XpString(XP_T("FR")));
    for (const XpChar* other : {XP_T("0x411"), XP_T("01041"), XP_T("1041 "), XP_T("104"), XP_T(""), XP_T("1234")}) {
        EXPECT_TRUE(LookupLanguageCode(other).IsEmpty());
    }
    EXPECT_TRUE(LookupLanguageCode(static_cast<const XpChar*>(nullptr)).IsEmpty());
    EXPECT_TRUE(LookupLanguageCode(0x10411u).IsEmpty());  // Japanese with a sort order
}

TEST(LanguageCode, InstalledLanguagesComeBeforeTheUsersLocales)
{
    // The installed language wins over the user's locale.
    EXPECT_EQ(ChooseLanguageCode(XP_T("1033"), nullptr, {1041, 1041, 1041}), XpString(XP_T("US")));
    EXPECT_EQ(ChooseLanguageCode(XP_T("1036"), XP_T("1031"), {1041}), XpString(XP_T("FR")));
    // Not in the table, or not read: the next rule.
    EXPECT_EQ(ChooseLanguageCode(XP_T("1234"), XP_T("1031"), {1041}), XpString(XP_T("DE")));
    EXPECT_EQ(ChooseLanguageCode(XP_T("1234"), nullptr, {1041}), XpString(XP_T("JP")));
    // The user's locales in order; one with a sort order gives way to the next.
    EXPECT_EQ(ChooseLanguageCode(nullptr, nullptr, {0x10411, 1049, 1045}), XpString(XP_T("RU")));
    EXPECT_EQ(ChooseLanguageCode(nullptr, nullptr, {2057, 2057, 1045}), XpString(XP_T("PL")));
    // Nothing known: "US".
    EXPECT_EQ(ChooseLanguageCode(nullptr, nullptr, {2057, 0}), XpString(XP_T("US")));
    EXPECT_EQ(ChooseLanguageCode(XP_T(""), XP_T(""), {}), XpString(XP_T("US")));
}

}  // namespace
