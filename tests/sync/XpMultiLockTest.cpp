#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/sync/XpManualEvent.h"
#include "foundation/sync/XpMultiLock.h"
#include "foundation/sync/XpMutex.h"
#include "foundation/sync/XpSemaphore.h"
#include "sync/SyncTestSupport.h"

using namespace kestrow_test;

namespace {
// A semaphore that counts how often anyone tries to take it.
class CountingSemaphore : public XpSemaphore {
public:
    XpResult LockUntil(const XpWaitDeadline& deadline) override
    {
        ++tries;
        return XpSemaphore::LockUntil(deadline);
    }
    std::atomic<int> tries{0};
};

// Whether another thread could take the object now (it gives it back).
bool FreeForOthers(XpComboSyncObject& object)
{
    bool free = false;
    std::thread([&] {
        free = object.LockFor(0) == XpRc::Ok;
        if (free) object.Unlock();
    }).join();
    return free;
}
}  // namespace

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
    BoundedThreads threads;
    std::atomic<bool> release{false};
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

TEST(XpMultiLockOne, WaitsForAReleaseAndEndsAtItsTimeOut)
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

    XpSemaphore wakeUnits;
    const Clock::time_point start = Clock::now();
    XpMultiLockOne none(&first, &second, &wakeUnits, 1);
    EXPECT_EQ(none.GetResult(), XpRc::TimedOut);
    EXPECT_EQ(none.GetIndex(), -1);
    EXPECT_GE(SecondsSince(start), 0.9);
    // No longer registered: a later change does not reach its wake-up object.
    first.Unlock();
    EXPECT_EQ(wakeUnits.TryLock(), XpRc::TimedOut);

    EXPECT_EQ(XpMultiLockOne(&first, nullptr, &wakeUp, 0).GetResult(), XpRc::InvalidHandle);
    EXPECT_EQ(XpMultiLockOne(&first, &second, nullptr, 0).GetResult(), XpRc::InvalidHandle);
    EXPECT_EQ(XpMultiLockOne(&first, &second, &wakeUp, -3).GetResult(), XpRc::InvalidHandle);
}

// A manual event left set (by a change whose object someone else took meanwhile) is cleared
// before each round, so the waiter sleeps instead of trying again and again.
TEST(XpMultiLockOne, AManualWakeUpLeftSetDoesNotMakeTheWaiterSpin)
{
    CountingSemaphore first, second;
    XpManualEvent wakeUp;
    wakeUp.SetState(true);
    XpMultiLockOne wait(&first, &second, &wakeUp, 1);
    EXPECT_EQ(wait.GetResult(), XpRc::TimedOut);
    EXPECT_LE(first.tries, 3);
}

TEST(XpMultiLockAll, ObtainsEveryObjectOrNone)
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

    std::atomic<bool> release{false};
    BoundedThreads threads;
    threads.Start([&] {
        c.Lock();
        Eventually([&] { return release.load(); });
        c.Unlock();
    });
    ASSERT_TRUE(Eventually([&] { return !FreeForOthers(c); }));
    XpMultiLockAll timedOut({&a, &b, &c}, &wakeUp, 1);
    EXPECT_EQ(timedOut.GetResult(), XpRc::TimedOut);
    EXPECT_TRUE(timedOut.GetObtained().empty());
    EXPECT_TRUE(FreeForOthers(a) && FreeForOthers(b)) << "what a failed round took was given back";
    release = true;
}

// Two waiters that name the same objects in opposite orders, over and over.
TEST(XpMultiLockAll, OppositeOrdersNeverHoldEachOtherUp)
{
    XpMutex a, b;
    long shared = 0;  // guarded by holding both
    BoundedThreads threads;
    for (int t = 0; t < 2; ++t) threads.Start([&, t] {
            XpSemaphore wakeUp;
            for (int i = 0; i < 300; ++i) {
                XpMultiLockAll all(t == 0 ? std::vector<XpComboSyncObject*>{&a, &b}
                                          : std::vector<XpComboSyncObject*>{&b, &a},
                                   &wakeUp, -1);
                ASSERT_EQ(all.GetResult(), XpRc::Ok);
                ++shared;
                for (XpComboSyncObject* object : all.GetObtained()) object->Unlock();
            }
        });
    threads.JoinAll();
    EXPECT_EQ(shared, 600);
}
