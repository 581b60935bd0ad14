// The registry service through its interface: the same expectations against the real
// registry under Wine and against hive files on Linux.

#include <gtest/gtest.h>

#include "RegistryTestSupport.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformRegistry.h"

namespace {

using kestrow_test::Bytes;
using kestrow_test::Utf16Bytes;

class PlatformRegistry : public kestrow_test::RegistryTest {};

TEST_F(PlatformRegistry, KeyPathsAndValueNamesIgnoreCaseAndSeparatorRuns)
{
    const XpPlatformString key = Key("Alpha\\Beta");
    SetString(XpRegRoot::CurrentUser, key, XP_T("Name"), XP_T("x"));

    XpPlatformString spelled = Key("ALPHA\\beta\\\\");
    EXPECT_TRUE(KeyExists(XpRegRoot::CurrentUser, spelled));
    spelled = Key("alpha\\\\BETA");
    EXPECT_TRUE(KeyExists(XpRegRoot::CurrentUser, spelled));
    EXPECT_TRUE(KeyExists(XpRegRoot::CurrentUser, Key("Alpha")));  // above a key that has values

    uint32_t type = 0;
    Bytes data;
    EXPECT_TRUE(ReadValue(XpRegRoot::CurrentUser, key, XP_T("NAME"), &type, &data));
    EXPECT_EQ(data, Utf16Bytes(XP_T("x")));

    XpRegKey handle = 123;
    const XpPlatformString leading = XP_T("\\") + key;
    EXPECT_EQ(XpPlatformRegOpenKey(XpRegRoot::CurrentUser, leading.c_str(), XpRegAccess::Read, &handle),
              XpWinError::BadPathname);
    EXPECT_EQ(XpPlatformRegOpenKey(XpRegRoot::CurrentUser, Key("Gamma").c_str(), XpRegAccess::Read, &handle),
              XpWinError::FileNotFound);
    EXPECT_EQ(handle, kXpRegNoKey);
    EXPECT_FALSE(KeyExists(XpRegRoot::LocalMachine, key));  // the roots are apart
}

TEST_F(PlatformRegistry, EveryValueKeepsItsTypeAndBytes)
{
    Bytes large(700);
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<uint8_t>(i * 7);
    Bytes multi = Utf16Bytes(XP_T("one"));
    const Bytes two = Utf16Bytes(XP_T("two"));
    multi.insert(multi.end(), two.begin(), two.end());
    multi.push_back(0);
    multi.push_back(0);
    struct Case {
        const XpChar* name;
        uint32_t type;
        Bytes data;
    };
    const std::vector<Case> cases = {
        {XP_T("Text"), XpRegType::Sz, Utf16Bytes(XP_T("C:\\Program Files\\\"Vimbly\" = 1"))},
        {XP_T("Unterminated"), XpRegType::Sz, Utf16Bytes(XP_T("abc"), false)},
        {XP_T("Odd"), XpRegType::Sz, {0x41, 0x00, 0x42}},
        {XP_T("Lines"), XpRegType::Sz, Utf16Bytes(XP_T("a\r\nb"))},
        {XP_T("Accents \u00e9\u4e2d"), XpRegType::Sz, Utf16Bytes(XP_T("\u00e9\u4e2d\U0001F600"))},
        {XP_T("EmptyText"), XpRegType::Sz, {}},
        {XP_T("Expand"), XpRegType::ExpandSz, Utf16Bytes(XP_T("%TEMP%\\x"))},
        {XP_T("Multi"), XpRegType::MultiSz, multi},
        {XP_T("Number"), XpRegType::Dword, {0x78, 0x56, 0x34, 0x12}},
        {XP_T("ShortNumber"), XpRegType::Dword, {0x01, 0x02}},
        {XP_T("Quad"), XpRegType::Qword, {1, 2, 3, 4, 5, 6, 7, 8}},
        {XP_T("Binary"), XpRegType::Binary, large},
        {XP_T("Nothing"), XpRegType::None, {}},
        {XP_T("Own type"), 0x12345, {0xFF}},
        {XP_T(""), XpRegType::Sz, Utf16Bytes(XP_T("default"))},
    };
    const XpPlatformString key = Key("Types");
    for (const Case& c : cases) SetValue(XpRegRoot::LocalMachine, key, c.name, c.type, c.data);
    // Read back from the store itself, not from what this process remembers.
    XpPlatformRegForgetCachedHives();
    for (const Case& c : cases) {
        uint32_t type = 0;
        Bytes data;
        ASSERT_TRUE(ReadValue(XpRegRoot::LocalMachine, key, c.name, &type, &data)) << c.type;
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(data, c.data) << c.type;
    }
}

TEST_F(PlatformRegistry, QueriesFollowTheBufferRulesAndTheRights)
{
    const XpPlatformString key = Key();
    SetValue(XpRegRoot::CurrentUser, key, XP_T("Four"), XpRegType::Binary, {1, 2, 3, 4});
    XpRegKey handle = kXpRegNoKey;
    ASSERT_EQ(XpPlatformRegOpenKey(XpRegRoot::CurrentUser, key.c_str(), XpRegAccess::Read, &handle), 0u);

    uint32_t size = 0, type = 0;
    EXPECT_EQ(XpPlatformRegQueryValue(handle, XP_T("Four"), &type, nullptr, &size), 0u);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, XpRegType::Binary);
    uint8_t small[2] = {};
    size = sizeof(small);
    EXPECT_EQ(XpPlatformRegQueryValue(handle, XP_T("Four"), nullptr, small, &size), XpWinError::MoreData);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(XpPlatformRegQueryValue(handle, XP_T("Four"), nullptr, small, nullptr), XpWinError::InvalidParameter);
    EXPECT_EQ(XpPlatformRegQueryValue(handle, XP_T("Missing"), nullptr, nullptr, &size), XpWinError::FileNotFound);

    const uint8_t byte = 1;
    EXPECT_EQ(XpPlatformRegSetValue(handle, XP_T("New"), XpRegType::Binary, &byte, 1), XpWinError::AccessDenied);
    EXPECT_EQ(XpPlatformRegDeleteValue(handle, XP_T("Four")), XpWinError::AccessDenied);

    // A key deleted under an open handle.
    EXPECT_EQ(XpPlatformRegDeleteTree(XpRegRoot::CurrentUser, key.c_str()), 0u);
    EXPECT_EQ(XpPlatformRegQueryValue(handle, XP_T("Four"), nullptr, nullptr, &size), XpWinError::KeyDeleted);
    EXPECT_EQ(XpPlatformRegCloseKey(handle), 0u);
    EXPECT_EQ(XpPlatformRegDeleteTree(XpRegRoot::CurrentUser, key.c_str()), XpWinError::FileNotFound);
}

TEST_F(PlatformRegistry, DeletingRemovesValuesAndWholeTrees)
{
    SetString(XpRegRoot::CurrentUser, Key("Keep"), XP_T("A"), XP_T("1"));
    SetString(XpRegRoot::CurrentUser, Key("Tree\\Leaf"), XP_T("B"), XP_T("2"));
    SetString(XpRegRoot::CurrentUser, Key("Tree"), XP_T("C"), XP_T("3"));

    XpRegKey handle = kXpRegNoKey;
    ASSERT_EQ(XpPlatformRegOpenKey(XpRegRoot::CurrentUser, Key("Keep").c_str(), XpRegAccess::Read | XpRegAccess::Write,
                                   &handle),
              0u);
    EXPECT_EQ(XpPlatformRegDeleteValue(handle, XP_T("a")), 0u);
    EXPECT_EQ(XpPlatformRegDeleteValue(handle, XP_T("a")), XpWinError::FileNotFound);
    XpPlatformRegCloseKey(handle);

    // An empty path empties the key named by the handle and keeps it.
    ASSERT_EQ(XpPlatformRegOpenKey(XpRegRoot::CurrentUser, Key("Tree").c_str(), XpRegAccess::Read | XpRegAccess::Write,
                                   &handle),
              0u);
    EXPECT_EQ(XpPlatformRegDeleteTree(handle, XP_T("")), 0u);
    XpPlatformRegCloseKey(handle);
    uint32_t type = 0;
    Bytes data;
    EXPECT_TRUE(KeyExists(XpRegRoot::CurrentUser, Key("Tree")));
    EXPECT_FALSE(KeyExists(XpRegRoot::CurrentUser, Key("Tree\\Leaf")));
    EXPECT_FALSE(ReadValue(XpRegRoot::CurrentUser, Key("Tree"), XP_T("C"), &type, &data));

    EXPECT_EQ(XpPlatformRegDeleteTree(XpRegRoot::CurrentUser, Key("tree").c_str()), 0u);
    EXPECT_FALSE(KeyExists(XpRegRoot::CurrentUser, Key("Tree")));
    EXPECT_TRUE(KeyExists(XpRegRoot::CurrentUser, Key("Keep")));
}

TEST_F(PlatformRegistry, TheCurrentUsersOwnHiveIsTheUserRoot)
{
    SetString(XpRegRoot::CurrentUser, Key(), XP_T("Mine"), XP_T("yes"));
    XpRegKey user = kXpRegNoKey, key = kXpRegNoKey;
    ASSERT_EQ(XpPlatformRegOpenCurrentUser(XpRegAccess::Read, &user), 0u);
    EXPECT_EQ(XpPlatformRegOpenKey(user, Key().c_str(), XpRegAccess::Read, &key), 0u);
    uint32_t size = 0;
    EXPECT_EQ(XpPlatformRegQueryValue(key, XP_T("Mine"), nullptr, nullptr, &size), 0u);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(XpPlatformRegCloseKey(key), 0u);
    EXPECT_EQ(XpPlatformRegCloseKey(user), 0u);
}

}  // namespace
