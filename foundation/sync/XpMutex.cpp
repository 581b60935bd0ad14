#include "foundation/sync/XpMutex.h"

#include <utility>

XpMutex::XpMutex(XpPlatformMutex&& systemMutex)
    : m_systemMutex(std::move(systemMutex)), m_hasSystemMutex(m_systemMutex.IsValid())
{
}

XpResult XpMutex::LockFor(int32_t seconds)
{
    if (seconds != -1 && seconds != 0) return XpRc::InvalidHandle;
    return XpComboSyncObject::LockFor(seconds);
}

XpResult XpMutex::LockUntil(const XpWaitDeadline& deadline)
{
    const uint32_t self = XpPlatformCurrentThreadId();
    bool first = false;
    {
        XpSingleLock lock(m_innerLock);
        const XpResult rc = WaitUntil(deadline, [this, self] { return m_count == 0 || m_ownerThreadId == self; });
        if (rc != XpRc::Ok) return rc;
        first = ++m_count == 1;
        m_ownerThreadId = self;
    }
    if (!first || !m_hasSystemMutex) return XpRc::Ok;

    uint32_t error = 0;
    const XpResult rc = XpMapWaitResult(m_systemMutex.Wait(deadline.NextWaitMilliseconds(), &error), error);
    if (rc == XpRc::Ok) return XpRc::Ok;
    // Not obtained after all: the caller will not unlock, so nothing may stay held. An
    // abandoned system mutex was handed over to this thread; it goes back too, and the
    // next acquisition starts afresh.
    if (rc == XpRc::Abandoned) m_systemMutex.Release();
    XpSingleLock lock(m_innerLock);
    if (--m_count == 0) {
        m_ownerThreadId = 0;
        SignalChange();
    }
    return rc;
}

XpResult XpMutex::Unlock()
{
    XpSingleLock lock(m_innerLock);
    if (m_count <= 0 || m_ownerThreadId != XpPlatformCurrentThreadId()) return XpRc::Ok;
    if (--m_count == 0) {
        if (m_hasSystemMutex) m_systemMutex.Release();
        m_ownerThreadId = 0;
        SignalChange();
    }
    return XpRc::Ok;
}
