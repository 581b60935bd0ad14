#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "foundation/sync/XpSyncObject.h"

TEST(XpCriticalSection, TryLockIsNotOfferedAndLeavesTheSectionAlone)
{
    XpCriticalSection section;
    EXPECT_EQ(section.TryLock(), XpRc::NotSupported);
    // Still free: another thread gets in at once.
    std::thread([&] {
        EXPECT_EQ(section.Lock(), XpRc::Ok);
        EXPECT_EQ(section.Unlock(), XpRc::Ok);
    }).join();
    section.Lock();
    EXPECT_EQ(section.TryLock(), XpRc::NotSupported);  // also while held
    section.Unlock();
}

TEST(XpCriticalSection, OwnerMustUnlockAsOftenAsItLocked)
{
    XpCriticalSection section;
    std::atomic<bool> entered{false};
    section.Lock();
    section.Lock();
    std::thread other([&] {
        XpSingleLock lock(section);
        entered = true;
    });
    section.Unlock();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(entered) << "the section was released after one of two unlocks";
    section.Unlock();
    other.join();
    EXPECT_TRUE(entered);
}

namespace {
class ScriptedLock : public XpSyncObject {
public:
    explicit ScriptedLock(XpResult lockResult) : m_lockResult(lockResult) {}
    XpResult Lock() override
    {
        ++locks;
        return m_lockResult;
    }
    XpResult Unlock() override
    {
        ++unlocks;
        return XpRc::Ok;
    }
    XpResult TryLock() override { return XpRc::NotSupported; }
    int locks = 0;
    int unlocks = 0;

private:
    XpResult m_lockResult;
};
}  // namespace

TEST(XpSingleLock, UnlocksOnlyWhatItObtained)
{
    ScriptedLock granted(XpRc::Ok);
    {
        XpSingleLock lock(granted);
        EXPECT_EQ(lock.GetLockResult(), XpRc::Ok);
        EXPECT_EQ(granted.unlocks, 0);
    }
    EXPECT_EQ(granted.locks, 1);
    EXPECT_EQ(granted.unlocks, 1);

    ScriptedLock refused(0x8201);
    {
        XpSingleLock lock(refused);
        EXPECT_EQ(lock.GetLockResult(), 0x8201u);
    }
    EXPECT_EQ(refused.locks, 1);
    EXPECT_EQ(refused.unlocks, 0);
}

TEST(XpSingleLock, SerialisesThreadsOnACriticalSection)
{
    XpCriticalSection section;
    long counter = 0;  // deliberately not atomic: the section is what protects it
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            XpSingleLock lock(section);
            counter = counter + 1;
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
}
