#pragma once
// Waits for several composite objects at once. The waiter registers with every object it
// waits for; each change of one of them unlocks the waiter's wake-up object (a semaphore
// or a manual event), whose wait is how the waiter sleeps between rounds of tries.
//
// Whatever the waiter obtained belongs to its owner, who unlocks it.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/sync/XpComboSyncObject.h"

class XpMultiWaiterBase {
public:
    virtual ~XpMultiWaiterBase() = default;
    XpMultiWaiterBase(const XpMultiWaiterBase&) = delete;
    XpMultiWaiterBase& operator=(const XpMultiWaiterBase&) = delete;

    // 0 when the wait obtained what it waited for, otherwise the code that ended it.
    XpResult GetResult() const { return m_result; }

    // For the objects' signal step: the thread that waits, and its wake-up.
    uint32_t GetThreadId() const { return m_threadId; }
    void WakeUp() { m_wakeUp->Unlock(); }

protected:
    explicit XpMultiWaiterBase(XpComboSyncObject* wakeUp);

    // Registers with each object in turn; on failure none stays registered. 0, or
    // XpRc::InvalidHandle for a null object or wake-up, or XpRc::OutOfMemory.
    XpResult Register(XpComboSyncObject* const* objects, size_t count);
    void Unregister(XpComboSyncObject* const* objects, size_t count);
    // Opens a round of tries: a manual event left set by an earlier change is cleared, so
    // that the wait after the tries sleeps until something changes after them.
    void BeginRound();
    XpResult WaitForWakeUp(const XpWaitDeadline& deadline) { return m_wakeUp->LockUntil(deadline); }

    XpComboSyncObject* m_wakeUp;
    XpResult m_result = XpRc::Ok;

private:
    uint32_t m_threadId;
};

// On construction, waits until one of two objects can be obtained (tried in order).
class XpMultiLockOne : public XpMultiWaiterBase {
public:
    XpMultiLockOne(XpComboSyncObject* first, XpComboSyncObject* second, XpComboSyncObject* wakeUp, int32_t seconds);

    // 0 or 1 for the object obtained, -1 when none was.
    int GetIndex() const { return m_index; }
    XpComboSyncObject* GetObject() const { return m_object; }

private:
    int m_index = -1;
    XpComboSyncObject* m_object = nullptr;
};

// On construction, waits until every listed object is obtained together. A round that
// cannot obtain them all gives back what it took before it waits, so that two waiters
// that list the same objects in different orders never hold each other up for good.
class XpMultiLockAll : public XpMultiWaiterBase {
public:
    XpMultiLockAll(const std::vector<XpComboSyncObject*>& objects, XpComboSyncObject* wakeUp, int32_t seconds);

    const std::vector<XpComboSyncObject*>& GetObjects() const { return m_objects; }
    // Every listed object after success, none otherwise.
    const std::vector<XpComboSyncObject*>& GetObtained() const { return m_obtained; }

private:
    void Wait(int32_t seconds);

    std::vector<XpComboSyncObject*> m_objects;
    std::vector<XpComboSyncObject*> m_obtained;
};
