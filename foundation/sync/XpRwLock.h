#pragma once
// Reader-writer locks among the composite objects. Any number of threads may read at
// once; one thread writes, alone. Writers take precedence: once a writer waits, new
// shared requests wait too. LockFor is the exclusive lock, LockShared the shared one, and
// Unlock gives back what the calling thread holds (its write lock first).
//
// XpRwLock: the writer may lock again; a reader must not ask for a second shared lock while
// a writer may be waiting, nor the writer for a shared lock (such requests end only by
// their time-out).
// XpRwLockEx: a reader may read again; the writer's shared requests count as further
// write locks; the only reader may also take the write lock (upgrade).

#include <cstdint>
#include <vector>

#include "foundation/sync/XpComboSyncObject.h"

// The read locks held, per thread: what lets a thread give back only its own.
class XpReaderTable {
public:
    bool IsEmpty() const { return m_entries.empty(); }
    // The only reader is the given thread.
    bool IsOnlyReader(uint32_t thread) const;
    // No thread but the given one reads.
    bool NoOtherReader(uint32_t thread) const { return IsEmpty() || IsOnlyReader(thread); }
    // One more read lock for the thread; XpRc::OutOfMemory when it cannot be recorded.
    XpResult Add(uint32_t thread);
    // One read lock fewer; false when the thread holds none.
    bool Remove(uint32_t thread);

private:
    struct Entry {
        uint32_t thread;
        uint32_t count;
    };
    std::vector<Entry> m_entries;
};

// What both locks share: the counts, the requests and the unlock.
class XpRwLockBase : public XpComboSyncObject {
public:
    // The exclusive lock.
    XpResult LockUntil(const XpWaitDeadline& deadline) override { return Acquire(true, deadline); }
    XpResult LockShared(int32_t seconds);
    XpResult TryLockShared() { return LockShared(0); }
    XpResult LockSharedUntil(const XpWaitDeadline& deadline) { return Acquire(false, deadline); }
    // 0 always; a thread that holds nothing changes nothing.
    XpResult Unlock() override;

protected:
    XpRwLockBase() = default;
    // Whether the calling thread's request can be granted now; under the inner lock.
    virtual bool MayGrant(bool exclusive, uint32_t self) const = 0;
    bool IsWriter(uint32_t self) const { return m_writerCount > 0 && m_writerThreadId == self; }

    XpReaderTable m_readers;
    int32_t m_writerCount = 0;
    int32_t m_waitingWriters = 0;
    uint32_t m_writerThreadId = 0;

private:
    XpResult Acquire(bool exclusive, const XpWaitDeadline& deadline);
};

class XpRwLock : public XpRwLockBase {
public:
    XpRwLock() = default;

private:
    bool MayGrant(bool exclusive, uint32_t self) const override;
};

class XpRwLockEx : public XpRwLockBase {
public:
    XpRwLockEx() = default;

private:
    bool MayGrant(bool exclusive, uint32_t self) const override;
};
