#include <gtest/gtest.h>

#include <atomic>

#include "foundation/sync/XpManualEvent.h"
#include "foundation/sync/XpSemaphore.h"
#include "sync/SyncTestSupport.h"

using namespace kestrow_test;

TEST(XpSemaphore, TakesOnlyUnitsThatWereReleased)
{
    XpSemaphore semaphore;
    EXPECT_EQ(semaphore.LockFor(0), XpRc::TimedOut);
    EXPECT_EQ(semaphore.Unlock(), XpRc::Ok);
    EXPECT_EQ(semaphore.LockFor(0), XpRc::Ok);
    EXPECT_EQ(semaphore.TryLock(), XpRc::TimedOut);

    XpSemaphore bounded(2);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(bounded.Unlock(), XpRc::Ok);  // the third is dropped
    EXPECT_EQ(bounded.TryLock(), XpRc::Ok);
    EXPECT_EQ(bounded.TryLock(), XpRc::Ok);
    EXPECT_EQ(bounded.TryLock(), XpRc::TimedOut);
}

TEST(XpSemaphore, EachReleaseLetsOneWaiterThrough)
{
    XpSemaphore semaphore;
    std::atomic<int> through{0};
    BoundedThreads threads;
    for (int i = 0; i < 3; ++i)
        threads.Start([&] {
            EXPECT_EQ(semaphore.Lock(), XpRc::Ok);
            ++through;
        });
    SleepMs(50);
    EXPECT_EQ(through, 0);
    semaphore.Unlock();
    semaphore.Unlock();
    EXPECT_TRUE(Eventually([&] { return through == 2; }));
    SleepMs(50);
    EXPECT_EQ(through, 2);
    semaphore.Unlock();
    threads.JoinAll();
    EXPECT_EQ(semaphore.TryLock(), XpRc::TimedOut);
}

TEST(XpManualEvent, ASetEventReleasesEveryWaiterUntilCleared)
{
    XpManualEvent event;
    EXPECT_EQ(event.LockFor(0), XpRc::TimedOut);
    std::atomic<int> through{0};
    BoundedThreads threads;
    for (int i = 0; i < 4; ++i)
        threads.Start([&] {
            EXPECT_EQ(event.Lock(), XpRc::Ok);
            ++through;
        });
    SleepMs(50);
    EXPECT_EQ(through, 0);
    EXPECT_EQ(event.Unlock(), XpRc::Ok);  // sets it
    threads.JoinAll();
    EXPECT_EQ(through, 4);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(event.LockFor(0), XpRc::Ok);
    event.SetState(false);
    EXPECT_EQ(event.LockFor(0), XpRc::TimedOut);
}
