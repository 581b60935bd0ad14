// Fresh GUID texts and the start-up set-up.

#include <gtest/gtest.h>

#include <clocale>
#include <set>
#include <string>

#include "TestSupport.h"
#include "foundation/registry/XpGuid.h"
#include "foundation/registry/XpProcessHeap.h"

namespace {

bool IsUpperHexDigit(XpChar c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

TEST(NewGuidString, GivesFreshVersion4GuidsInRegistryForm)
{
    std::set<XpPlatformString> seen;
    for (int i = 0; i < 1000; ++i) {
        const XpString guid = NewGuidString();
        ASSERT_EQ(guid.GetLength(), 38);
        const XpChar* text = guid.GetString();
        EXPECT_EQ(text[0], '{');
        EXPECT_EQ(text[37], '}');
        for (int at = 1; at < 37; ++at) {
            if (at == 9 || at == 14 || at == 19 || at == 24)
                EXPECT_EQ(text[at], '-') << at;
            else
                EXPECT_TRUE(IsUpperHexDigit(text[at])) << at;
        }
        EXPECT_EQ(text[15], '4');                                                          // version 4
        EXPECT_NE(XpPlatformString(XP_T("89AB")).find(text[20]), XpPlatformString::npos);  // its variant
        seen.insert(XpPlatformString(text));
    }
    EXPECT_EQ(seen.size(), 1000u);
}

// The heap part cannot be seen under Wine, whose heaps ignore the low-fragmentation
// request; the locale part can.
TEST(InitProcessHeap, TakesTheUsersLocale)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment environment("LC_ALL", std::string("C.UTF-8"));
#endif
    std::setlocale(LC_ALL, "C");
    InitProcessHeap();
#if defined(_WIN32)
    EXPECT_STRNE(std::setlocale(LC_ALL, nullptr), "C");
#else
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C.UTF-8");
#endif
    std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
