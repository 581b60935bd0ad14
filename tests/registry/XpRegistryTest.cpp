// The registry key object against a real registry: hive files on Linux, the registry
// under Wine for Windows.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "RegistryTestSupport.h"
#include "foundation/registry/SfRegistry.h"
#include "foundation/registry/XpRegistry.h"

namespace {

using kestrow_test::Bytes;
using kestrow_test::Utf16Bytes;

class XpRegistryKeys : public kestrow_test::RegistryTest {
protected:
    // The key in the library's own form, with "/" between the names.
    XpString SlashKey(const std::string& relative = std::string()) const
    {
        XpPlatformString key = Key(relative);
        for (XpChar& c : key)
            if (c == '\\') c = '/';
        return XpString(key.c_str(), static_cast<int32_t>(key.size()));
    }
};

TEST_F(XpRegistryKeys, FlagsWithoutReadOrWriteFailAndCreateNothing)
{
    CreateKey(XpRegRoot::CurrentUser, Key("Present"));
    XpRegistry key;
    SfRegistry impersonated(true);
    for (const int32_t root : {kXpRegUserRoot, kXpRegMachineRoot}) {
        for (const uint32_t flags : {0u, 4u, 8u, 12u}) {
            ASSERT_EQ(key.Open(SlashKey("Present"), kXpRegUserRoot, XpRegFlag::Read), XpRc::Ok);
            EXPECT_EQ(key.Open(SlashKey("Made"), root, flags), XpRc::Failure) << flags;
            EXPECT_FALSE(key.IsOpen());  // the failed open closed the earlier key
            EXPECT_EQ(impersonated.Open(SlashKey("Made"), root, flags), XpRc::Failure) << flags;
        }
    }
    EXPECT_FALSE(KeyExists(XpRegRoot::CurrentUser, Key("Made")));
    EXPECT_FALSE(KeyExists(XpRegRoot::LocalMachine, Key("Made")));
}

TEST_F(XpRegistryKeys, ReadOpensExistingKeysOnlyWhileWriteCreatesThem)
{
    XpRegistry key;
    EXPECT_EQ(key.Close(), XpRc::Failure);
    EXPECT_EQ(key.GetAccess(), XpRegFlag::Read);
    EXPECT_EQ(key.Open(SlashKey("A/B"), kXpRegUserRoot, XpRegFlag::Read), XpRc::Failure);
    EXPECT_FALSE(KeyExists(XpRegRoot::CurrentUser, Key("A")));

    ASSERT_EQ(key.Open(SlashKey("A/B"), kXpRegUserRoot, XpRegFlag::Write), XpRc::Ok);
    EXPECT_TRUE(KeyExists(XpRegRoot::CurrentUser, Key("A\\B")));
    EXPECT_EQ(key.GetAccess(), XpRegFlag::Write);
    ASSERT_EQ(key.Open(SlashKey("C/D"), kXpRegMachineRoot, XpRegFlag::Read | XpRegFlag::Write), XpRc::Ok);
    EXPECT_TRUE(KeyExists(XpRegRoot::LocalMachine, Key("C\\D")));
    EXPECT_FALSE(KeyExists(XpRegRoot::CurrentUser, Key("C")));

    ASSERT_EQ(key.Open(SlashKey("A/B"), kXpRegUserRoot, XpRegFlag::Read), XpRc::Ok);
    EXPECT_EQ(key.GetPath(), SlashKey("A/B"));  // stored as given
    EXPECT_EQ(key.GetRoot(), kXpRegUserRoot);
    EXPECT_EQ(key.Close(), XpRc::Ok);
    EXPECT_EQ(key.Close(), XpRc::Failure);
}

TEST_F(XpRegistryKeys, SlashesNameTheSameKeysAndValuesAsBackslashes)
{
    SetString(XpRegRoot::LocalMachine, Key("Vimbly\\GlobalSettings"), XP_T("CurrentVersion"), XP_T("5.0"));
    SetString(XpRegRoot::LocalMachine, Key("Vimbly"), XP_T("a\\b"), XP_T("slashed"));

    XpRegistry key;
    ASSERT_EQ(key.Open(SlashKey("Vimbly"), kXpRegMachineRoot, XpRegFlag::Read), XpRc::Ok);
    EXPECT_EQ(key.GetStringValue(XpString(XP_T("a/b"))), XpString(XP_T("slashed")));

    const std::unique_ptr<XpRegistry> sub(OpenSubKey(&key, XpString(XP_T("GlobalSettings"))));
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub->GetPath(), SlashKey("Vimbly") + XP_T("/GlobalSettings"));
    EXPECT_EQ(sub->GetRoot(), kXpRegMachineRoot);
    EXPECT_EQ(sub->GetAccess(), XpRegFlag::Read);
    EXPECT_EQ(sub->GetStringValue(XpString(XP_T("CurrentVersion"))), XpString(XP_T("5.0")));

    EXPECT_EQ(OpenSubKey(&key, XpString(XP_T("Missing"))), nullptr);
    EXPECT_EQ(OpenSubKey(nullptr, XpString(XP_T("GlobalSettings"))), nullptr);
    key.Close();
    EXPECT_EQ(OpenSubKey(&key, XpString(XP_T("GlobalSettings"))), nullptr);

    const std::unique_ptr<XpRegistry> machine(OpenMachineKey(XpKey("Vimbly\\GlobalSettings")));
    ASSERT_NE(machine, nullptr);
    EXPECT_EQ(machine->GetRoot(), kXpRegMachineRoot);
    EXPECT_EQ(OpenMachineKey(XpKey("Nowhere")), nullptr);
}

TEST_F(XpRegistryKeys, ValuesReadOnlyAsTheirOwnType)
{
    const XpPlatformString path = Key();
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Text"), XpRegType::Sz, Utf16Bytes(XP_T("text")));
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Unterminated"), XpRegType::Sz, Utf16Bytes(XP_T("full"), false));
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Expand"), XpRegType::ExpandSz, Utf16Bytes(XP_T("%TEMP%")));
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Empty"), XpRegType::Sz, {});
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Number"), XpRegType::Dword, {0x78, 0x56, 0x34, 0x12});
    SetValue(XpRegRoot::CurrentUser, path, XP_T("One"), XpRegType::Dword, {0x7F});
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Three"), XpRegType::Dword, {0x01, 0x02, 0x03});
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Binary"), XpRegType::Binary, {1, 0, 0, 0});
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Long"), XpRegType::Dword, {1, 2, 3, 4, 5, 6, 7, 8});

    XpRegistry key;
    ASSERT_EQ(key.Open(SlashKey(), kXpRegUserRoot, XpRegFlag::Read), XpRc::Ok);
    EXPECT_EQ(key.GetStringValue(XpString(XP_T("TEXT"))), XpString(XP_T("text")));
    EXPECT_EQ(key.GetStringValue(XpString(XP_T("Unterminated"))), XpString(XP_T("full")));
    EXPECT_TRUE(key.GetStringValue(XpString(XP_T("Expand"))).IsEmpty());
    EXPECT_TRUE(key.GetStringValue(XpString(XP_T("Number"))).IsEmpty());
    EXPECT_TRUE(key.GetStringValue(XpString(XP_T("Missing"))).IsEmpty());

    EXPECT_EQ(key.GetDWORDValue(XpString(XP_T("Number"))), 0x12345678u);
    EXPECT_EQ(key.GetDWORDValue(XpString(XP_T("One"))), 0x7Fu);  // the missing high bytes are 0
    EXPECT_EQ(key.GetDWORDValue(XpString(XP_T("Three"))), 0x030201u);
    EXPECT_EQ(key.GetDWORDValue(XpString(XP_T("Text"))), 0u);
    EXPECT_EQ(key.GetDWORDValue(XpString(XP_T("Binary"))), 0u);
    EXPECT_EQ(key.GetDWORDValue(XpString(XP_T("Long"))), 0u);

    EXPECT_TRUE(key.HasValue(XpString(XP_T("Text"))));
    EXPECT_FALSE(key.HasValue(XpString(XP_T("Empty"))));  // zero bytes count as absent
    EXPECT_FALSE(key.HasValue(XpString(XP_T("Missing"))));

    uint32_t number = 99;
    EXPECT_TRUE(QueryDWORD(&key, XpString(XP_T("Number")), &number));
    EXPECT_EQ(number, 0x12345678u);
    EXPECT_TRUE(QueryDWORD(&key, XpString(XP_T("Text")), &number));
    EXPECT_EQ(number, 0u);
    EXPECT_FALSE(QueryDWORD(&key, XpString(XP_T("Empty")), &number));
    EXPECT_FALSE(QueryDWORD(nullptr, XpString(XP_T("Number")), &number));

    uint32_t type = 0;
    Bytes raw;
    EXPECT_TRUE(key.GetRawValue(XpString(XP_T("Three")), &type, &raw));
    EXPECT_EQ(type, XpRegType::Dword);
    EXPECT_EQ(raw, (Bytes{1, 2, 3}));

    key.Close();
    EXPECT_TRUE(key.GetStringValue(XpString(XP_T("Text"))).IsEmpty());
    EXPECT_EQ(key.GetDWORDValue(XpString(XP_T("Number"))), 0u);
    EXPECT_FALSE(key.HasValue(XpString(XP_T("Text"))));
    EXPECT_FALSE(key.GetRawValue(XpString(XP_T("Text")), &type, &raw));
}

TEST_F(XpRegistryKeys, AStringThatChangesSizeDuringTheReadNeverReadsUnterminated)
{
    // The value flips between "ab" with its terminator and "abcde" without one: a read
    // whose second query fills the whole buffer would run past the text.
    const XpPlatformString path = Key();
    const Bytes shortText = Utf16Bytes(XP_T("ab")), longText = Utf16Bytes(XP_T("abcde"), false);
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Flip"), XpRegType::Sz, shortText);
    XpRegistry key;
    ASSERT_EQ(key.Open(SlashKey(), kXpRegUserRoot, XpRegFlag::Read), XpRc::Ok);
#if defined(_WIN32)
    const auto flip = [&](int i) {
        SetValue(XpRegRoot::CurrentUser, path, XP_T("Flip"), XpRegType::Sz, i % 2 ? shortText : longText);
    };
#else
    // Another process replacing the hive file, faster than the service's own flushed writes.
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Flip"), XpRegType::Sz, longText);
    const std::string longHive = ReadBytes("registry/user.reg");
    SetValue(XpRegRoot::CurrentUser, path, XP_T("Flip"), XpRegType::Sz, shortText);
    const std::string shortHive = ReadBytes("registry/user.reg");
    const auto flip = [&](int i) {
        WriteBytes("registry/user.reg.new", i % 2 ? shortHive : longHive);
        std::filesystem::rename(Native("registry/user.reg.new"), Native("registry/user.reg"));
    };
#endif
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) flip(i);
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < end) {
        const XpString text = key.GetStringValue(XpString(XP_T("Flip")));
        if (!(text.IsEmpty() || text == XpString(XP_T("ab")) || text == XpString(XP_T("abcde")))) {
            ADD_FAILURE() << "read " << text.GetLength() << " characters";
            break;
        }
    }
    stop = true;
    writer.join();
}

TEST_F(XpRegistryKeys, ViewFlagsReachTheRegistryWhereItHasViews)
{
    uint32_t minor = 0, platform = 0, major = 0;
    ASSERT_EQ(GetOSVersion(&minor, &platform, &major), XpRc::Ok);
#if defined(_WIN32)
    EXPECT_EQ(platform, 2u);
    EXPECT_GE(major, 5u);
#else
    EXPECT_EQ(platform, 0u);  // the kernel's record names no Windows platform
    EXPECT_GE(major, 3u);
#endif
    EXPECT_EQ(GetOSVersion(nullptr, &platform, nullptr), XpRc::Ok);

    // The key is made in the 64-bit program's own view.
    CreateKey(XpRegRoot::LocalMachine, Key("Viewed"));
    XpRegistry key;
    EXPECT_EQ(key.Open(SlashKey("Viewed"), kXpRegMachineRoot, XpRegFlag::Read | XpRegFlag::View64), XpRc::Ok);
    const XpResult in32 = key.Open(SlashKey("Viewed"), kXpRegMachineRoot, XpRegFlag::Read | XpRegFlag::View32);
#if defined(_WIN32)
    EXPECT_EQ(in32, XpRc::Failure);  // the 32-bit view is another branch of HKLM\Software
#else
    EXPECT_EQ(in32, XpRc::Ok);  // hive files have one view
#endif
}

TEST_F(XpRegistryKeys, TheImpersonatedHiveFlagOpensBelowTheCurrentUserWhateverTheRoot)
{
    SfRegistry impersonated(true);
    EXPECT_TRUE(impersonated.IsImpersonatedHive());
    ASSERT_EQ(impersonated.Open(SlashKey("Sf"), kXpRegMachineRoot, XpRegFlag::Read | XpRegFlag::Write), XpRc::Ok);
    EXPECT_EQ(impersonated.GetRoot(), kXpRegMachineRoot);  // the argument, as given
    EXPECT_TRUE(KeyExists(XpRegRoot::CurrentUser, Key("Sf")));
    EXPECT_FALSE(KeyExists(XpRegRoot::LocalMachine, Key("Sf")));
    EXPECT_EQ(impersonated.Open(SlashKey("Missing"), kXpRegUserRoot, XpRegFlag::Read), XpRc::Failure);
    EXPECT_FALSE(impersonated.IsOpen());

    SfRegistry plain;
    ASSERT_EQ(plain.Open(SlashKey("Plain"), kXpRegMachineRoot, XpRegFlag::Write), XpRc::Ok);
    EXPECT_TRUE(KeyExists(XpRegRoot::LocalMachine, Key("Plain")));
}

}  // namespace
