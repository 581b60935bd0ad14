#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/sync/XpMutex.h"
#include "sync/SyncTestSupport.h"

using namespace kestrow_test;

TEST(XpMutex, OffersOnlyForeverAndNoWait)
{
    XpMutex mutex;
    EXPECT_EQ(mutex.LockFor(5), XpRc::InvalidHandle);
    EXPECT_EQ(mutex.LockFor(-2), XpRc::InvalidHandle);
    EXPECT_TRUE(FreeForOthers(mutex)) << "a refusal left the mutex held";
}

TEST(XpMutex, OwnerLocksAgainAndUnlocksAsOften)
{
    XpMutex mutex;
    ASSERT_EQ(mutex.Lock(), XpRc::Ok);
    ASSERT_EQ(mutex.TryLock(), XpRc::Ok);
    auto tryFromOther = [&] { return FromOtherThread(mutex, [&] { return mutex.LockFor(0); }); };
    EXPECT_EQ(tryFromOther(), XpRc::TimedOut);

    // Another thread's unlock is ignored.
    std::thread([&] { EXPECT_EQ(mutex.Unlock(), XpRc::Ok); }).join();
    mutex.Unlock();
    EXPECT_EQ(tryFromOther(), XpRc::TimedOut) << "free after one of two unlocks";
    mutex.Unlock();
    EXPECT_EQ(tryFromOther(), XpRc::Ok);
    EXPECT_EQ(mutex.Unlock(), XpRc::Ok);  // nothing held: ignored
}

TEST(XpMutex, WaiterGetsTheMutexWhenTheOwnerLetsGo)
{
    XpMutex mutex;
    mutex.Lock();
    std::atomic<bool> obtained{false};
    BoundedThreads threads;
    threads.Start([&] {
        EXPECT_EQ(mutex.Lock(), XpRc::Ok);
        obtained = true;
        mutex.Unlock();
    });
    SleepMs(50);
    EXPECT_FALSE(obtained);
    mutex.Unlock();
    threads.JoinAll();
    EXPECT_TRUE(obtained);
}

// Two objects standing for one system mutex: what one holds, the other cannot obtain.
TEST(XpMutex, AFailedWaitForTheSystemMutexUndoesTheAcquisition)
{
    XpPlatformMutex system;
    ASSERT_TRUE(system.IsValid());
    XpMutex first(system.Duplicate());
    XpMutex second(std::move(system));

    std::atomic<bool> held{false}, release{false};
    BoundedThreads threads;
    threads.Start([&] {
        ASSERT_EQ(first.Lock(), XpRc::Ok);
        held = true;
        Eventually([&] { return release.load(); });
        first.Unlock();
    });
    ASSERT_TRUE(Eventually([&] { return held.load(); }));

    EXPECT_EQ(second.LockFor(0), XpRc::TimedOut);
    // Had the first try kept its inner acquisition, this one would count as a recursion
    // and report success without the system mutex.
    EXPECT_EQ(second.LockFor(0), XpRc::TimedOut);
    release = true;
    threads.JoinAll();
    EXPECT_EQ(second.LockFor(0), XpRc::Ok);
    second.Unlock();
}

TEST(XpMutex, ASystemMutexLeftByAnEndedThreadIsReportedAbandonedAndFreed)
{
    XpPlatformMutex system;
    XpMutex first(system.Duplicate());
    XpMutex second(std::move(system));
    std::thread([&] { ASSERT_EQ(first.Lock(), XpRc::Ok); }).join();  // ends holding it

    EXPECT_EQ(second.Lock(), XpRc::Abandoned);
    // Not held after the report: both the inner lock and the system mutex went back.
    EXPECT_TRUE(FreeForOthers(second));
}
