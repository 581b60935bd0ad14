#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "foundation/sync/XpRwLock.h"
#include "sync/SyncTestSupport.h"

using namespace kestrow_test;

template <typename Lock>
class RwLockTest : public ::testing::Test {
protected:
    XpResult ExclusiveFromOther()
    {
        return FromOtherThread(m_lock, [this] { return m_lock.LockFor(0); });
    }
    XpResult SharedFromOther() { return SharedFromOtherThread(m_lock); }

    Lock m_lock;
};

using RwLocks = ::testing::Types<XpRwLock, XpRwLockEx>;
TYPED_TEST_SUITE(RwLockTest, RwLocks);

TYPED_TEST(RwLockTest, ReadersShareWritersExclude)
{
    ASSERT_EQ(this->m_lock.TryLockShared(), XpRc::Ok);
    EXPECT_EQ(this->SharedFromOther(), XpRc::Ok);
    EXPECT_EQ(this->ExclusiveFromOther(), XpRc::TimedOut);
    this->m_lock.Unlock();
    ASSERT_EQ(this->m_lock.TryLock(), XpRc::Ok);
    ASSERT_EQ(this->m_lock.TryLock(), XpRc::Ok);  // the writer writes again
    EXPECT_EQ(this->SharedFromOther(), XpRc::TimedOut);
    this->m_lock.Unlock();
    EXPECT_EQ(this->ExclusiveFromOther(), XpRc::TimedOut) << "free after one of two unlocks";
    this->m_lock.Unlock();
    EXPECT_EQ(this->ExclusiveFromOther(), XpRc::Ok);
    EXPECT_EQ(this->m_lock.LockShared(-2), XpRc::InvalidHandle);
}

TYPED_TEST(RwLockTest, AThreadThatHoldsNothingCannotReleaseAnotherThreadsReadLock)
{
    std::atomic<bool> reading{false}, done{false};
    BoundedThreads threads;
    threads.Start([&] {
        ASSERT_EQ(this->m_lock.LockShared(-1), XpRc::Ok);
        reading = true;
        Eventually([&] { return done.load(); });
        this->m_lock.Unlock();
    });
    ASSERT_TRUE(Eventually([&] { return reading.load(); }));
    EXPECT_EQ(this->m_lock.Unlock(), XpRc::Ok);
    EXPECT_EQ(this->m_lock.TryLock(), XpRc::TimedOut) << "the other thread's read lock was taken away";
    done = true;
    threads.JoinAll();
    EXPECT_EQ(this->m_lock.TryLock(), XpRc::Ok);
    this->m_lock.Unlock();
}

TYPED_TEST(RwLockTest, AWaitingWriterGoesBeforeNewReaders)
{
    ASSERT_EQ(this->m_lock.LockShared(-1), XpRc::Ok);
    std::atomic<int> order{0}, writerPlace{0}, readerPlace{0};
    BoundedThreads threads;
    threads.Start([&] {
        EXPECT_EQ(this->m_lock.Lock(), XpRc::Ok);
        writerPlace = ++order;
        SleepMs(30);
        this->m_lock.Unlock();
    });
    // Once the writer waits, new readers hold back.
    ASSERT_TRUE(Eventually([&] { return this->SharedFromOther() == XpRc::TimedOut; }));
    threads.Start([&] {
        EXPECT_EQ(this->m_lock.LockShared(-1), XpRc::Ok);
        readerPlace = ++order;
        this->m_lock.Unlock();
    });
    SleepMs(30);
    EXPECT_EQ(order, 0);
    this->m_lock.Unlock();
    threads.JoinAll();
    EXPECT_EQ(writerPlace, 1);
    EXPECT_EQ(readerPlace, 2);
}

TEST(XpRwLockEx, TheOnlyReaderMayUpgradeAndTheWritersReadsAreWrites)
{
    XpRwLockEx lock;
    ASSERT_EQ(lock.LockShared(-1), XpRc::Ok);
    ASSERT_EQ(lock.LockShared(0), XpRc::Ok);    // reads again
    ASSERT_EQ(lock.TryLock(), XpRc::Ok);        // upgrade without giving the reads back
    ASSERT_EQ(lock.TryLockShared(), XpRc::Ok);  // one more write
    lock.Unlock();
    lock.Unlock();
    EXPECT_EQ(SharedFromOtherThread(lock), XpRc::Ok) << "only the reads are left";
    lock.Unlock();
    lock.Unlock();

    // With a second reader there is no upgrade; XpRwLock never upgrades.
    XpRwLock plain;
    ASSERT_EQ(plain.TryLockShared(), XpRc::Ok);
    EXPECT_EQ(plain.TryLock(), XpRc::TimedOut);
    plain.Unlock();
    std::atomic<bool> reading{false}, done{false};
    BoundedThreads threads;
    threads.Start([&] {
        lock.LockShared(-1);
        reading = true;
        Eventually([&] { return done.load(); });
        lock.Unlock();
    });
    ASSERT_TRUE(Eventually([&] { return reading.load(); }));
    ASSERT_EQ(lock.TryLockShared(), XpRc::Ok);
    EXPECT_EQ(lock.TryLock(), XpRc::TimedOut);
    lock.Unlock();
    done = true;
}
