#include "foundation/sync/XpManualEvent.h"

void XpManualEvent::SetState(bool signalled)
{
    XpSingleLock lock(m_innerLock);
    m_signalled = signalled;
    if (signalled) SignalChange();
}

XpResult XpManualEvent::Unlock()
{
    SetState(true);
    return XpRc::Ok;
}

XpResult XpManualEvent::LockUntil(const XpWaitDeadline& deadline)
{
    XpSingleLock lock(m_innerLock);
    return WaitUntil(deadline, [this] { return m_signalled; });
}
