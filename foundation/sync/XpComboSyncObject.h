#pragma once
// The common ground of the composite synchronisation objects (mutex, semaphore, manual
// event, reader-writer locks): an inner critical section guards the object's counters,
// and one manual-reset change event wakes every waiter whenever the state changes. A
// waiter tests its condition under the inner lock, and when it must wait, waits for the
// next change with the inner lock released, then tests again.
//
// Multi-waiters (XpMultiLockOne, XpMultiLockAll) register with the objects they wait for;
// every change also wakes their wake-up objects.

#include <cstdint>
#include <vector>

#include "foundation/sync/XpSyncObject.h"
#include "foundation/sync/XpWaitDeadline.h"
#include "platform/PlatformSync.h"

class XpMultiWaiterBase;

class XpComboSyncObject : public XpSyncObject {
public:
    XpComboSyncObject();
    XpComboSyncObject(const XpComboSyncObject&) = delete;
    XpComboSyncObject& operator=(const XpComboSyncObject&) = delete;

    // For ever, and without waiting.
    XpResult Lock() override { return LockFor(-1); }
    XpResult TryLock() override { return LockFor(0); }
    // Obtains the object within the given whole seconds: -1 waits for ever, 0 does not
    // wait (XpRc::TimedOut when that would be needed). Below -1: XpRc::InvalidHandle.
    virtual XpResult LockFor(int32_t seconds);
    // The same with a deadline that the caller may share between several waits.
    virtual XpResult LockUntil(const XpWaitDeadline& deadline) = 0;

    // Registers a multi-waiter to be woken at every change (once, however often it is
    // added). XpRc::OutOfMemory when it cannot be recorded.
    XpResult AddWaiter(XpMultiWaiterBase* waiter);
    void RemoveWaiter(XpMultiWaiterBase* waiter);

protected:
    // The wait step. The caller holds the inner lock exactly once. Returns 0 when the
    // condition is worth testing again (something changed, or the wait ended early),
    // XpRc::TimedOut once the deadline has passed (at once, without releasing the inner
    // lock, when it already has), or the failed wait's code.
    XpResult WaitForChange(const XpWaitDeadline& deadline);
    // Waits for changes until the condition (tested under the inner lock) holds: 0, or
    // the code that ended the wait.
    template <typename Condition>
    XpResult WaitUntil(const XpWaitDeadline& deadline, Condition ready)
    {
        while (!ready()) {
            const XpResult rc = WaitForChange(deadline);
            if (rc != XpRc::Ok) return rc;
        }
        return XpRc::Ok;
    }
    // The signal step, under the inner lock: wakes every waiter and multi-waiter.
    void SignalChange();

    XpCriticalSection m_innerLock;

private:
    std::vector<XpMultiWaiterBase*> m_waiters;
    XpPlatformEvent m_changeEvent;
    // Each signal starts a new generation. A waiter registered before the current
    // generation began is owed a wake-up: until every such waiter is back under the inner
    // lock, nobody clears the change event, so a waiter that released the inner lock but
    // has not begun its wait yet still finds the event set. A waiter that comes while
    // wake-ups are owed cannot clear the event either; instead of finding it set again and
    // again, it sleeps on the drained event, which is set once no wake-up is owed.
    XpPlatformEvent m_drainedEvent;
    uint64_t m_generation = 0;
    uint32_t m_currentWaiters = 0;  // registered in the current generation
    uint32_t m_owedWaiters = 0;     // registered earlier, not yet back
};
