#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/sync/XpManualEvent.h"
#include "foundation/sync/XpMultiLock.h"
#include "foundation/sync/XpMutex.h"
#include "foundation/sync/XpSemaphore.h"
#include "sync/SyncTestSupport.h"

using namespace kestrow_test;

TEST(XpMultiLockOne, ObtainsTheFirstObjectThatCanBeHad)
{
    XpMutex first, second;
    XpSemaphore wakeUp;
    {
        XpMultiLockOne wait(&first, &second, &wakeUp, 0);
        EXPECT_EQ(wait.GetResult(), XpRc::Ok);
        EXPECT_EQ(wait.GetIndex(), 0);
        EXPECT_EQ(wait.GetObject(), &first);
    }
    EXPECT_FALSE(FreeForOthers(first)) << "the owner unlocks what it obtained";
    first.Unlock();

    XpMutex busy;
    std::atomic<bool> release{false};
    BoundedThreads threads;
    threads.Start([&] {
        busy.Lock();
        Eventually([&] { return release.load(); });
        busy.Unlock();
    });
    ASSERT_TRUE(Eventually([&] { return !FreeForOthers(busy); }));
    XpMultiLockOne wait(&busy, &second, &wakeUp, -1);
    EXPECT_EQ(wait.GetIndex(), 1);
    second.Unlock();
    release = true;
}

TEST(XpMultiLockOne, WaitsForAReleaseAndRefusesNullObjects)
{
    XpSemaphore first, second;
    XpManualEvent wakeUp;
    BoundedThreads threads;
    threads.Start([&] {
        SleepMs(50);
        second.Unlock();
    });
    XpMultiLockOne wait(&first, &second, &wakeUp, -1);
    EXPECT_EQ(wait.GetResult(), XpRc::Ok);
    EXPECT_EQ(wait.GetIndex(), 1);
    threads.JoinAll();

    EXPECT_EQ(XpMultiLockOne(&first, nullptr, &wakeUp, 0).GetResult(), XpRc::InvalidHandle);
    EXPECT_EQ(XpMultiLockOne(&first, &second, nullptr, 0).GetResult(), XpRc::InvalidHandle);
    EXPECT_EQ(XpMultiLockOne(&first, &second, &wakeUp, -3).GetResult(), XpRc::InvalidHandle);
}

TEST(XpMultiLockAll, ObtainsEveryObjectTogether)
{
    XpMutex a, b, c;
    XpSemaphore wakeUp;
    {
        XpMultiLockAll all({&a, &b, &c}, &wakeUp, 0);
        EXPECT_EQ(all.GetResult(), XpRc::Ok);
        EXPECT_EQ(all.GetObtained().size(), 3u);
    }
    for (XpMutex* m : {&a, &b, &c}) {
        EXPECT_FALSE(FreeForOthers(*m));
        m->Unlock();
    }
}

// Two waiters that name the same objects in opposite orders, over and over.
TEST(XpMultiLockAll, OppositeOrdersNeverHoldEachOtherUp)
{
    XpMutex a, b;
    long shared = 0;  // guarded by holding both
    BoundedThreads threads;
    for (int t = 0; t < 2; ++t)
        threads.Start([&, t] {
            XpSemaphore wakeUp;
            for (int i = 0; i < 300; ++i) {
                XpMultiLockAll all(
                    t == 0 ? std::vector<XpComboSyncObject*>{&a, &b} : std::vector<XpComboSyncObject*>{&b, &a}, &wakeUp,
                    -1);
                ASSERT_EQ(all.GetResult(), XpRc::Ok);
                ++shared;
                for (XpComboSyncObject* object : all.GetObtained()) object->Unlock();
            }
        });
    threads.JoinAll();
    EXPECT_EQ(shared, 600);
}
