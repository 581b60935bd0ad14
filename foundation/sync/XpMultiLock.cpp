#include "foundation/sync/XpMultiLock.h"

#include <new>

#include "foundation/sync/XpManualEvent.h"
#include "platform/PlatformSync.h"

XpMultiWaiterBase::XpMultiWaiterBase(XpComboSyncObject* wakeUp)
    : m_wakeUp(wakeUp), m_threadId(XpPlatformCurrentThreadId())
{
}

XpResult XpMultiWaiterBase::Register(XpComboSyncObject* const* objects, size_t count)
{
    if (m_wakeUp == nullptr) return XpRc::InvalidHandle;
    for (size_t i = 0; i < count; ++i)
        if (objects[i] == nullptr) return XpRc::InvalidHandle;
    for (size_t i = 0; i < count; ++i) {
        const XpResult rc = objects[i]->AddWaiter(this);
        if (rc != XpRc::Ok) {
            Unregister(objects, i);
            return rc;
        }
    }
    return XpRc::Ok;
}

void XpMultiWaiterBase::Unregister(XpComboSyncObject* const* objects, size_t count)
{
    for (size_t i = 0; i < count; ++i) objects[i]->RemoveWaiter(this);
}

void XpMultiWaiterBase::BeginRound()
{
    if (XpManualEvent* event = dynamic_cast<XpManualEvent*>(m_wakeUp)) event->SetState(false);
}

XpMultiLockOne::XpMultiLockOne(XpComboSyncObject* first, XpComboSyncObject* second, XpComboSyncObject* wakeUp,
                               int32_t seconds)
    : XpMultiWaiterBase(wakeUp)
{
    XpWaitDeadline deadline = XpWaitDeadline::Never();
    if (!XpWaitDeadline::FromSeconds(seconds, &deadline)) {
        m_result = XpRc::InvalidHandle;
        return;
    }
    XpComboSyncObject* const objects[] = {first, second};
    m_result = Register(objects, 2);
    if (m_result != XpRc::Ok) return;
    for (;;) {
        BeginRound();
        for (int i = 0; i < 2 && m_object == nullptr; ++i) {
            if (objects[i]->LockFor(0) == XpRc::Ok) {
                m_index = i;
                m_object = objects[i];
            }
        }
        if (m_object != nullptr) break;
        m_result = WaitForWakeUp(deadline);
        if (m_result != XpRc::Ok) break;
    }
    Unregister(objects, 2);
}

XpMultiLockAll::XpMultiLockAll(const std::vector<XpComboSyncObject*>& objects, XpComboSyncObject* wakeUp,
                               int32_t seconds)
    : XpMultiWaiterBase(wakeUp)
{
    try {
        m_objects = objects;
        m_obtained.reserve(objects.size());
    } catch (const std::bad_alloc&) {
        m_objects.clear();
        m_result = XpRc::OutOfMemory;
        return;
    }
    Wait(seconds);
}

void XpMultiLockAll::Wait(int32_t seconds)
{
    XpWaitDeadline deadline = XpWaitDeadline::Never();
    if (!XpWaitDeadline::FromSeconds(seconds, &deadline)) {
        m_result = XpRc::InvalidHandle;
        return;
    }
    m_result = Register(m_objects.data(), m_objects.size());
    if (m_result != XpRc::Ok) return;
    for (;;) {
        BeginRound();
        for (XpComboSyncObject* object : m_objects) {
            if (object->LockFor(0) != XpRc::Ok) break;
            m_obtained.push_back(object);  // room reserved above
        }
        if (m_obtained.size() == m_objects.size()) break;
        for (auto it = m_obtained.rbegin(); it != m_obtained.rend(); ++it) (*it)->Unlock();
        m_obtained.clear();
        m_result = WaitForWakeUp(deadline);
        if (m_result != XpRc::Ok) break;
    }
    Unregister(m_objects.data(), m_objects.size());
}
