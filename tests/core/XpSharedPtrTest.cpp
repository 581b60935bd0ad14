#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/XpSharedPtr.h"

namespace {
struct Base {
    int value = 1;  // no virtual destructor: the counter must delete the real type
};
struct Derived : Base {
    explicit Derived(std::atomic<int>& deaths) : m_deaths(deaths) {}
    ~Derived() { ++m_deaths; }
    std::atomic<int>& m_deaths;
};
}  // namespace

TEST(XpSharedPtr, LastCopyDeletesTheObjectOnceThroughItsRealType)
{
    std::atomic<int> deaths{0};
    {
        XpSharedPtr<Base> base(new Derived(deaths));
        EXPECT_EQ(base.GetUseCount(), 1);
        {
            XpSharedPtr<Base> copy = base;
            EXPECT_EQ(base.GetUseCount(), 2);
            EXPECT_EQ(copy.Get(), base.Get());
        }
        EXPECT_EQ(base.GetUseCount(), 1);
        EXPECT_EQ(deaths, 0);
    }
    EXPECT_EQ(deaths, 1);
}

TEST(XpSharedPtr, EmptyPointersAndReassignment)
{
    std::atomic<int> deaths{0};
    XpSharedPtr<Base> empty;
    EXPECT_FALSE(empty);
    EXPECT_EQ(empty.GetUseCount(), 0);

    XpSharedPtr<Base> a(new Derived(deaths));
    XpSharedPtr<Base> b(new Derived(deaths));
    a = b;  // a's first object goes
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(b.GetUseCount(), 2);
    XpSharedPtr<Base>& alias = a;
    a = alias;  // self-assignment keeps it
    EXPECT_EQ(b.GetUseCount(), 2);
    a.Reset();
    b.Reset();
    EXPECT_EQ(deaths, 2);
}

TEST(XpSharedPtr, CopiesOnManyThreadsKeepTheCountExact)
{
    std::atomic<int> deaths{0};
    XpSharedPtr<Base> shared(new Derived(deaths));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([shared] {
            for (int i = 0; i < 10000; ++i) {
                XpSharedPtr<Base> copy = shared;
                ASSERT_EQ(copy->value, 1);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(shared.GetUseCount(), 1);
    EXPECT_EQ(deaths, 0);
    shared.Reset();
    EXPECT_EQ(deaths, 1);
}
