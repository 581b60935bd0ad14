// "InstallResult" read from a real registry (Linux: the test's own hives; Windows: the
// registry under Wine), with the byte rules: 1 to 4 bytes little-endian whatever the
// type, nothing or more than 4 bytes counting as absent.

#include <gtest/gtest.h>

#include "registry/RegistryTestSupport.h"
#include "update/InstallResult.h"

namespace {

using kestrow_test::Bytes;

class InstallResultTest : public kestrow_test::RegistryTest {
protected:
    uint32_t With(uint32_t type, const Bytes& data)
    {
        SetValue(XpRegRoot::LocalMachine, Key(), XP_T("InstallResult"), type, data);
        return ReadInstallResult(XpKey());
    }
};

TEST_F(InstallResultTest, AbsentKeyOrValueIs99)
{
    EXPECT_EQ(ReadInstallResult(XpKey()), kInstallResultAbsent);
    SetString(XpRegRoot::LocalMachine, Key(), XP_T("Other"), XP_T("x"));
    EXPECT_EQ(ReadInstallResult(XpKey()), 99u);
    // The user's hive does not count.
    SetValue(XpRegRoot::CurrentUser, Key(), XP_T("InstallResult"), XpRegType::Dword, Bytes{0, 0, 0, 0});
    EXPECT_EQ(ReadInstallResult(XpKey()), 99u);
}

TEST_F(InstallResultTest, OneToFourBytesAreALittleEndianNumberOfAnyType)
{
    EXPECT_EQ(With(XpRegType::Dword, Bytes{0, 0, 0, 0}), 0u);
    EXPECT_EQ(With(XpRegType::Dword, Bytes{1, 0, 0, 0}), 1u);
    EXPECT_EQ(With(XpRegType::Dword, Bytes{0x78, 0x56, 0x34, 0x12}), 0x12345678u);
    EXPECT_EQ(With(XpRegType::Binary, Bytes{5}), 5u);
    EXPECT_EQ(With(XpRegType::Binary, Bytes{0x01, 0x02}), 0x0201u);
    EXPECT_EQ(With(XpRegType::Dword, Bytes{0xFF, 0xFF, 0xFF}), 0x00FFFFFFu);
    EXPECT_EQ(With(XpRegType::Sz, Bytes{'0', 0}), 0x30u);
    EXPECT_EQ(With(XpRegType::Binary, Bytes{0x63, 0, 0, 0}), 99u);
}

TEST_F(InstallResultTest, NoBytesOrMoreThanFourCountAsAbsent)
{
    EXPECT_EQ(With(XpRegType::Dword, Bytes{}), 99u);
    EXPECT_EQ(With(XpRegType::Binary, Bytes{0, 0, 0, 0, 0}), 99u);
    EXPECT_EQ(With(XpRegType::Qword, Bytes{0, 0, 0, 0, 0, 0, 0, 0}), 99u);
    EXPECT_EQ(With(XpRegType::Sz, Bytes{'0', 0, 0, 0, 0, 0}), 99u);
}

}  // namespace
