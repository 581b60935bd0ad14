// The language code: exact look-ups in the table of locale identifiers, and the order in
// which the installed languages and the user's locales are tried.

#include <gtest/gtest.h>

#include <string>

#include "update/LanguageCode.h"

namespace {

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

TEST(LanguageCode, LooksUpExactDecimalTextOnly)
{
    EXPECT_EQ(Narrow(LookupLanguageCode(XP_T("1041"))), "JP");
    EXPECT_EQ(Narrow(LookupLanguageCode(XP_T("3082"))), "ES");
    EXPECT_EQ(Narrow(LookupLanguageCode(XP_T("2052"))), "CS");
    EXPECT_EQ(Narrow(LookupLanguageCode(1036u)), "FR");
    for (const XpChar* other : {XP_T("0x411"), XP_T("01041"), XP_T("1041 "), XP_T("104"), XP_T(""), XP_T("1234")}) {
        EXPECT_TRUE(LookupLanguageCode(other).IsEmpty());
    }
    EXPECT_TRUE(LookupLanguageCode(static_cast<const XpChar*>(nullptr)).IsEmpty());
    EXPECT_TRUE(LookupLanguageCode(0x10411u).IsEmpty());  // Japanese with a sort order
}

TEST(LanguageCode, InstalledLanguagesComeBeforeTheUsersLocales)
{
    // The installed language wins over the user's locale.
    EXPECT_EQ(Narrow(ChooseLanguageCode(XP_T("1033"), nullptr, {1041, 1041, 1041})), "US");
    EXPECT_EQ(Narrow(ChooseLanguageCode(XP_T("1036"), XP_T("1031"), {1041})), "FR");
    // Not in the table, or not read: the next rule.
    EXPECT_EQ(Narrow(ChooseLanguageCode(XP_T("1234"), XP_T("1031"), {1041})), "DE");
    EXPECT_EQ(Narrow(ChooseLanguageCode(XP_T("1234"), nullptr, {1041})), "JP");
    // The user's locales in order; one with a sort order gives way to the next.
    EXPECT_EQ(Narrow(ChooseLanguageCode(nullptr, nullptr, {0x10411, 1049, 1045})), "RU");
    EXPECT_EQ(Narrow(ChooseLanguageCode(nullptr, nullptr, {2057, 2057, 1045})), "PL");
    // Nothing known: "US".
    EXPECT_EQ(Narrow(ChooseLanguageCode(nullptr, nullptr, {2057, 0})), "US");
    EXPECT_EQ(Narrow(ChooseLanguageCode(XP_T(""), XP_T(""), {})), "US");
}

}  // namespace
