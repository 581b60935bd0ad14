#pragma once
// A recursive mutex among the composite objects: one owner thread, which may lock again
// and must unlock as often. It may also hold a system mutex (one that other objects, also
// in other processes on Windows, may stand for as well): the first acquisition then also
// waits for that mutex, and the last release gives it back.

#include "foundation/sync/XpComboSyncObject.h"
#include "platform/PlatformSync.h"

class XpMutex : public XpComboSyncObject {
public:
    // Free, without a system mutex.
    XpMutex() = default;
    // Free, holding the given system mutex (closed at destruction). An object that is not
    // valid is left out.
    explicit XpMutex(XpPlatformMutex&& systemMutex);

    // Only -1 and 0 are offered; any other time-out is XpRc::InvalidHandle.
    XpResult LockFor(int32_t seconds) override;
    XpResult LockUntil(const XpWaitDeadline& deadline) override;
    // Ignored (and 0) when the calling thread is not the owner.
    XpResult Unlock() override;

private:
    uint32_t m_ownerThreadId = 0;
    int32_t m_count = 0;
    XpPlatformMutex m_systemMutex;
    bool m_hasSystemMutex = false;
};
