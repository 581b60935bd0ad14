#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "app/NamedMutex.h"

namespace {

class NamedMutexTest : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
#if !defined(_WIN32)
        m_env.Set("KESTROW_MUTEX_DIR", Native("locks").string());
#endif
        m_tag = XpNarrowString(kestrow_test::RandomTag().c_str()).ToWide();
    }
    XpString Name(const XpChar* prefix) const
    {
        return XpString(prefix) + m_tag;
    }

#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment m_env;
#endif
    XpString m_tag;
};

TEST_F(NamedMutexTest, TheFirstHolderIsTheCreatorUntilItCloses)
{
    const XpString name = Name(XP_T("Global\\kestrow-test-"));
    NamedMutex first(name.GetString());
    EXPECT_TRUE(first.HoldsAsCreator());
    {
        NamedMutex second(name.GetString());
        EXPECT_FALSE(second.HoldsAsCreator());
        EXPECT_FALSE(second.m_bCreated);
        EXPECT_EQ(second.m_hMutex, 0);
    }
    // The refused second did not take the name away from the first.
    NamedMutex third(name.GetString());
    EXPECT_FALSE(third.HoldsAsCreator());
    first.Close();
    EXPECT_EQ(first.m_hMutex, 0);
    NamedMutex fourth(name.GetString());
    EXPECT_TRUE(fourth.HoldsAsCreator());
}

TEST_F(NamedMutexTest, GlobalAndLocalNamesAreApartAndAnEmptyNameHoldsNothing)
{
    NamedMutex global(Name(XP_T("Global\\kestrow-test-")).GetString());
    NamedMutex local(Name(XP_T("Local\\kestrow-test-")).GetString());
    EXPECT_TRUE(global.HoldsAsCreator());
    EXPECT_TRUE(local.HoldsAsCreator());
    NamedMutex empty(XP_T(""));
    EXPECT_FALSE(empty.HoldsAsCreator());
    EXPECT_TRUE(empty.m_bCreated);  // failed, not found existing
}

}  // namespace
