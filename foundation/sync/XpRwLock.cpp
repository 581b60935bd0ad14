#include "foundation/sync/XpRwLock.h"

#include <new>

#include "platform/PlatformSync.h"

bool XpReaderTable::IsOnlyReader(uint32_t thread) const
{
    return m_entries.size() == 1 && m_entries.front().thread == thread;
}

XpResult XpReaderTable::Add(uint32_t thread)
{
    for (Entry& entry : m_entries) {
        if (entry.thread == thread) {
            ++entry.count;
            return XpRc::Ok;
        }
    }
    try {
        m_entries.push_back(Entry{thread, 1});
    } catch (const std::bad_alloc&) {
        return XpRc::OutOfMemory;
    }
    return XpRc::Ok;
}

bool XpReaderTable::Remove(uint32_t thread)
{
    for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
        if (it->thread == thread) {
            if (--it->count == 0) m_entries.erase(it);
            return true;
        }
    }
    return false;
}

namespace {
// A writer that has to wait makes itself known, so that new readers hold back for it.
// When its request fails, the readers that held back only for it must go on: the caller
// then signals the change.
class WaitingWriter {
public:
    WaitingWriter(int32_t& waitingWriters, bool exclusive) : m_waitingWriters(waitingWriters), m_exclusive(exclusive) {}
    // Before each wait. A request whose deadline has passed does not wait, so no reader
    // could have seen it.
    void BeforeWait(const XpWaitDeadline& deadline)
    {
        if (!m_exclusive || m_announced || deadline.HasPassed()) return;
        ++m_waitingWriters;
        m_announced = true;
    }
    // At the end of the request; true when readers may have held back for it.
    bool Withdraw()
    {
        if (m_announced) --m_waitingWriters;
        return m_announced;
    }

private:
    int32_t& m_waitingWriters;
    bool m_exclusive;
    bool m_announced = false;
};
}  // namespace

XpResult XpRwLockBase::LockShared(int32_t seconds)
{
    XpWaitDeadline deadline = XpWaitDeadline::Never();
    if (!XpWaitDeadline::FromSeconds(seconds, &deadline)) return XpRc::InvalidHandle;
    return Acquire(false, deadline);
}

XpResult XpRwLockBase::Acquire(bool exclusive, const XpWaitDeadline& deadline)
{
    const uint32_t self = XpPlatformCurrentThreadId();
    XpSingleLock lock(m_innerLock);
    WaitingWriter writer(m_waitingWriters, exclusive);
    const XpResult rc = WaitUntil(deadline, [&] {
        const bool ready = MayGrant(exclusive, self);
        if (!ready) writer.BeforeWait(deadline);
        return ready;
    });
    if (writer.Withdraw() && rc != XpRc::Ok) SignalChange();
    if (rc != XpRc::Ok) return rc;
    // A shared request of the writer (granted only by XpRwLockEx) is one more write lock.
    if (!exclusive && !IsWriter(self)) return m_readers.Add(self);
    ++m_writerCount;
    m_writerThreadId = self;
    return XpRc::Ok;
}

XpResult XpRwLockBase::Unlock()
{
    const uint32_t self = XpPlatformCurrentThreadId();
    XpSingleLock lock(m_innerLock);
    if (IsWriter(self)) {
        if (--m_writerCount == 0) m_writerThreadId = 0;
    } else if (!m_readers.Remove(self)) {
        return XpRc::Ok;
    }
    if (m_readers.IsEmpty() || m_writerCount == 0) SignalChange();
    return XpRc::Ok;
}

bool XpRwLock::MayGrant(bool exclusive, uint32_t self) const
{
    // Waiting writers go before new readers; the writer may write again.
    if (exclusive) return m_readers.IsEmpty() && (m_writerCount == 0 || m_writerThreadId == self);
    return m_writerCount < 1 && m_waitingWriters < 1;
}

bool XpRwLockEx::MayGrant(bool exclusive, uint32_t self) const
{
    // The writer's own requests, shared ones too, are granted; others wait for its end.
    if (m_writerCount > 0) return m_writerThreadId == self;
    // The only reader may take the write lock; new readers hold back for waiting writers.
    if (exclusive) return m_readers.NoOtherReader(self);
    return m_waitingWriters < 1;
}
