#include "foundation/sync/XpSemaphore.h"

XpResult XpSemaphore::LockUntil(const XpWaitDeadline& deadline)
{
    XpSingleLock lock(m_innerLock);
    const XpResult rc = WaitUntil(deadline, [this] { return m_count > 0; });
    if (rc == XpRc::Ok) --m_count;
    return rc;
}

XpResult XpSemaphore::Unlock()
{
    XpSingleLock lock(m_innerLock);
    if (m_maximum == kNoMaximum || m_count < m_maximum) ++m_count;
    if (m_count > 0) SignalChange();
    return XpRc::Ok;
}
