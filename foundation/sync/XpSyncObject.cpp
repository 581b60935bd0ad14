#include "foundation/sync/XpSyncObject.h"

XpResult XpCriticalSection::Lock()
{
    m_section.Enter();
    return XpRc::Ok;
}

XpResult XpCriticalSection::Unlock()
{
    m_section.Leave();
    return XpRc::Ok;
}

XpResult XpCriticalSection::TryLock()
{
    return XpRc::NotSupported;
}
