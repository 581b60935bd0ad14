#pragma once
// The lock interface of the synchronisation family, its plain implementation over the
// platform's critical section, and the scoped guard that takes any lock for one scope.

#include "foundation/XpResult.h"
#include "platform/PlatformSync.h"

class XpSyncObject {
public:
    virtual XpResult Lock() = 0;
    virtual XpResult Unlock() = 0;
    virtual XpResult TryLock() = 0;
    virtual ~XpSyncObject() = default;
};

// Recursive like the Windows critical section: the owner may lock again and must unlock
// as often before another thread gets in.
class XpCriticalSection : public XpSyncObject {
public:
    XpResult Lock() override;
    XpResult Unlock() override;
    // Not offered by this object: always XpRc::NotSupported, the section is not touched.
    XpResult TryLock() override;

private:
    XpPlatformCriticalSection m_section;
};

// Locks at construction and unlocks at the end of its scope, but only when the lock was
// obtained (a failed Lock is never paired with an Unlock).
class XpSingleLock {
public:
    explicit XpSingleLock(XpSyncObject& object) : m_object(object), m_lockResult(object.Lock()) {}
    virtual ~XpSingleLock()
    {
        if (m_lockResult == XpRc::Ok) m_object.Unlock();
    }
    XpSingleLock(const XpSingleLock&) = delete;
    XpSingleLock& operator=(const XpSingleLock&) = delete;

    XpResult GetLockResult() const { return m_lockResult; }

private:
    XpSyncObject& m_object;
    XpResult m_lockResult;
};
