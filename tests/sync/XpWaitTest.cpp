// What every composite object shares: time-outs, the wait-result mapping, and waits that
// never lose a wake-up, also under many threads with zero and short time-outs.
#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <memory>
#include <thread>

#include "foundation/sync/XpManualEvent.h"
#include "foundation/sync/XpMultiLock.h"
#include "foundation/sync/XpMutex.h"
#include "foundation/sync/XpRwLock.h"
#include "foundation/sync/XpSemaphore.h"
#include "platform/PlatformErrors.h"
#include "sync/SyncTestSupport.h"

using namespace kestrow_test;

TEST(XpWait, ResultMapping)
{
    EXPECT_EQ(XpMapWaitResult(XpWaitResult::Object0, 0), XpRc::Ok);
    EXPECT_EQ(XpMapWaitResult(XpWaitResult::Abandoned, 0), XpRc::Abandoned);
    EXPECT_EQ(XpMapWaitResult(XpWaitResult::Timeout, 0), XpRc::TimedOut);
    EXPECT_EQ(XpMapWaitResult(XpWaitResult::Failed, XpWinError::InvalidHandle), XpRc::InvalidHandle);
    EXPECT_EQ(XpMapWaitResult(XpWaitResult::Failed, XpWinError::NotOwner), XpRc::NotOwner);
    EXPECT_EQ(XpMapWaitResult(XpWaitResult::Failed, XpWinError::AccessDenied), XpRc::WaitFailed);
    EXPECT_EQ(XpMapWaitResult(XpWaitResult::Failed, 0), XpRc::WaitFailed) << "a failed wait is never success";
}

TEST(XpWait, TimeOutsBelowMinusOneAreRefusedAndLongOnesDoNotOverflow)
{
    XpSemaphore semaphore;
    XpManualEvent event;
    XpRwLock rw;
    for (XpComboSyncObject* object : std::initializer_list<XpComboSyncObject*>{&semaphore, &event, &rw}) {
        EXPECT_EQ(object->LockFor(-2), XpRc::InvalidHandle);
        EXPECT_EQ(object->LockFor(INT_MIN), XpRc::InvalidHandle);
    }

    // The longest time-out waits (it neither wraps into the past nor fails), and ends
    // with the release.
    std::atomic<bool> done{false};
    BoundedThreads threads;
    threads.Start([&] {
        EXPECT_EQ(semaphore.LockFor(INT_MAX), XpRc::Ok);
        done = true;
    });
    SleepMs(100);
    EXPECT_FALSE(done);
    semaphore.Unlock();
    threads.JoinAll();
}

namespace {
void ExpectAboutOneSecond(Clock::time_point start)
{
    const double seconds = SecondsSince(start);
    EXPECT_GE(seconds, 0.95);
    EXPECT_LT(seconds, 2.5);
}

// A waiter whose condition stays false while the object keeps changing (the writer locks
// again and again) still ends when its time is up: every wait waits only for what is
// left, also the wake-up waits of a multi-waiter.
void TimeOutUnderContention()
{
    XpRwLock rw, other;
    std::atomic<bool> holding{false}, stop{false};
    BoundedThreads threads;
    threads.Start([&] {
        rw.Lock();
        other.Lock();
        holding = true;
        while (!stop) {  // every Unlock here is a change that wakes the waiters
            rw.TryLock();
            rw.Unlock();
            other.TryLock();
            other.Unlock();
            SleepMs(1);
        }
        rw.Unlock();
        other.Unlock();
    });
    ASSERT_TRUE(Eventually([&] { return holding.load(); }));
    threads.Start([&] {
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(rw.LockShared(1), XpRc::TimedOut);
        ExpectAboutOneSecond(start);
    });
    threads.Start([&] {
        XpSemaphore wakeUp;
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(XpMultiLockOne(&rw, &other, &wakeUp, 1).GetResult(), XpRc::TimedOut);
        ExpectAboutOneSecond(start);
    });
    EXPECT_TRUE(Eventually([&] { return threads.Finished() == 2; }));
    stop = true;
}

// A reader held back only by a waiting writer goes on as soon as that writer gives up,
// while the first reader still reads.
template <typename Lock>
void WriterTimeOutLetsHeldBackReadersGo()
{
    Lock lock;
    ASSERT_EQ(lock.LockShared(-1), XpRc::Ok);
    std::atomic<bool> readerDone{false};
    BoundedThreads threads;
    threads.Start([&] { EXPECT_EQ(lock.LockFor(1), XpRc::TimedOut); });
    ASSERT_TRUE(Eventually([&] { return SharedFromOtherThread(lock) == XpRc::TimedOut; }));  // the writer waits
    threads.Start([&] {
        EXPECT_EQ(lock.LockShared(-1), XpRc::Ok);
        lock.Unlock();
        readerDone = true;
    });
    EXPECT_TRUE(Eventually([&] { return readerDone.load(); }, 4.0));
    lock.Unlock();
}

void MultiWaiterTimesOutAndLeaves()
{
    XpSemaphore first, second, wakeUp;
    const Clock::time_point start = Clock::now();
    XpMultiLockOne none(&first, &second, &wakeUp, 1);
    EXPECT_EQ(none.GetResult(), XpRc::TimedOut);
    EXPECT_EQ(none.GetIndex(), -1);
    ExpectAboutOneSecond(start);
    // No longer registered: a later change does not reach its wake-up object.
    first.Unlock();
    EXPECT_EQ(wakeUp.TryLock(), XpRc::TimedOut);
}

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

// A manual wake-up left set (by a change whose object someone else took meanwhile) is
// cleared before each round, so the waiter sleeps instead of trying again and again.
void ManualWakeUpLeftSetDoesNotMakeTheWaiterSpin()
{
    CountingSemaphore first, second;
    XpManualEvent wakeUp;
    wakeUp.SetState(true);
    EXPECT_EQ(XpMultiLockOne(&first, &second, &wakeUp, 1).GetResult(), XpRc::TimedOut);
    EXPECT_LE(first.tries, 3);
}

void WaiterForAllGivesBackWhatAFailedRoundTook()
{
    XpMutex a, b, c;
    XpSemaphore wakeUp;
    std::atomic<bool> release{false};
    BoundedThreads threads;
    threads.Start([&] {
        c.Lock();
        Eventually([&] { return release.load(); });
        c.Unlock();
    });
    ASSERT_TRUE(Eventually([&] { return !FreeForOthers(c); }));
    XpMultiLockAll all({&a, &b, &c}, &wakeUp, 1);
    EXPECT_EQ(all.GetResult(), XpRc::TimedOut);
    EXPECT_TRUE(all.GetObtained().empty());
    EXPECT_TRUE(FreeForOthers(a));
    EXPECT_TRUE(FreeForOthers(b));
    release = true;
}
}  // namespace

// Each case waits about one second; they run side by side so that the suite pays once.
TEST(XpWait, OneSecondTimeOuts)
{
    BoundedThreads cases;
    cases.Start(TimeOutUnderContention);
    cases.Start(WriterTimeOutLetsHeldBackReadersGo<XpRwLock>);
    cases.Start(WriterTimeOutLetsHeldBackReadersGo<XpRwLockEx>);
    cases.Start(MultiWaiterTimesOutAndLeaves);
    cases.Start(ManualWakeUpLeftSetDoesNotMakeTheWaiterSpin);
    cases.Start(WaiterForAllGivesBackWhatAFailedRoundTook);
}

namespace {
// Checks that nobody reads while somebody writes, and at most one writes.
struct Occupancy {
    std::atomic<int> readers{0}, writers{0}, violations{0};
    void Read()
    {
        ++readers;
        std::this_thread::yield();
        if (writers != 0) ++violations;
        --readers;
    }
    void Write()
    {
        if (++writers != 1 || readers != 0) ++violations;
        std::this_thread::yield();
        --writers;
    }
};

template <typename Lock>
void HammerRwLock(Lock& lock, Occupancy& occupancy, int thread, int rounds)
{
    for (int i = 0; i < rounds; ++i) {
        const int kind = (thread + i) % 6;
        const bool exclusive = kind < 2;
        // Mostly endless waits (a lost wake-up hangs them), and some zero and one-second
        // waits that end early and change the counts under the others.
        const int32_t seconds = kind == 2 ? 0 : kind == 3 ? 1 : -1;
        const XpResult rc = exclusive ? lock.LockFor(seconds) : lock.LockShared(seconds);
        if (rc == XpRc::Ok) {
            exclusive ? occupancy.Write() : occupancy.Read();
            lock.Unlock();
        } else {
            EXPECT_EQ(rc, XpRc::TimedOut);
            EXPECT_NE(seconds, -1);
        }
    }
}
}  // namespace

template <typename Lock>
class WaitStressTest : public ::testing::Test {
};
using RwLocks = ::testing::Types<XpRwLock, XpRwLockEx>;
TYPED_TEST_SUITE(WaitStressTest, RwLocks);

TYPED_TEST(WaitStressTest, NoWaiterHangsAmongManyThreads)
{
    TypeParam lock;
    Occupancy occupancy;
    BoundedThreads threads(8.0);
    for (int t = 0; t < 12; ++t) threads.Start([&, t] { HammerRwLock(lock, occupancy, t, 400); });
    threads.JoinAll();
    EXPECT_EQ(occupancy.violations, 0);
}

// Producers release exactly as many units as the consumers take with endless waits;
// multi-waiters take from two semaphores with short time-outs in between.
TEST(WaitStress, SemaphoreUnitsAreNeverLost)
{
    XpSemaphore first, second;
    std::atomic<int> takenByMulti{0};
    constexpr int kUnits = 600;
    BoundedThreads threads(8.0);
    for (int t = 0; t < 4; ++t) {
        threads.Start([&] {
            for (int i = 0; i < kUnits / 4; ++i) (i % 2 ? first : second).Unlock();
        });
        threads.Start([&, t] {
            XpManualEvent manual;
            XpSemaphore counting;
            XpComboSyncObject* wakeUp = t % 2 ? static_cast<XpComboSyncObject*>(&manual) : &counting;
            for (int i = 0; i < 40; ++i) {
                XpMultiLockOne wait(&first, &second, wakeUp, i % 3 == 0 ? 0 : 1);
                if (wait.GetResult() == XpRc::Ok) ++takenByMulti;
            }
        });
    }
    threads.JoinAll();
    // What the multi-waiters did not take is all still there.
    int left = 0;
    while (first.TryLock() == XpRc::Ok) ++left;
    while (second.TryLock() == XpRc::Ok) ++left;
    EXPECT_EQ(left + takenByMulti, kUnits);

    // Consumers that wait for ever, fed while they wait.
    for (int t = 0; t < 6; ++t)
        threads.Start([&, t] {
            for (int i = 0; i < kUnits / 6; ++i) EXPECT_EQ((t % 2 ? first : second).LockFor(-1), XpRc::Ok);
        });
    threads.Start([&] {
        for (int i = 0; i < kUnits; ++i) (i % 2 ? first : second).Unlock();
    });
    threads.JoinAll();
    EXPECT_EQ(first.TryLock(), XpRc::TimedOut);
}
