#include "foundation/sync/XpComboSyncObject.h"

#include <algorithm>
#include <new>

#include "foundation/sync/XpMultiLock.h"

XpComboSyncObject::XpComboSyncObject()
{
    m_drainedEvent.Set();  // no wake-up owed yet
}

XpResult XpComboSyncObject::LockFor(int32_t seconds)
{
    XpWaitDeadline deadline = XpWaitDeadline::Never();
    if (!XpWaitDeadline::FromSeconds(seconds, &deadline)) return XpRc::InvalidHandle;
    return LockUntil(deadline);
}

XpResult XpComboSyncObject::AddWaiter(XpMultiWaiterBase* waiter)
{
    XpSingleLock lock(m_innerLock);
    if (std::find(m_waiters.begin(), m_waiters.end(), waiter) != m_waiters.end()) return XpRc::Ok;
    try {
        m_waiters.push_back(waiter);
    } catch (const std::bad_alloc&) {
        return XpRc::OutOfMemory;
    }
    return XpRc::Ok;
}

void XpComboSyncObject::RemoveWaiter(XpMultiWaiterBase* waiter)
{
    XpSingleLock lock(m_innerLock);
    m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), waiter), m_waiters.end());
}

XpResult XpComboSyncObject::WaitForChange(const XpWaitDeadline& deadline)
{
    if (deadline.HasPassed()) return XpRc::TimedOut;
    const uint64_t generation = m_generation;
    const bool registered = m_owedWaiters == 0;
    XpPlatformEvent& event = registered ? m_changeEvent : m_drainedEvent;
    if (registered) {
        m_changeEvent.Reset();
        ++m_currentWaiters;
    }

    m_innerLock.Unlock();
    uint32_t error = 0;
    const uint32_t waited = event.Wait(deadline.NextWaitMilliseconds(), &error);
    m_innerLock.Lock();

    if (registered && generation != m_generation) {
        // The last owed waiter back leaves the change event to those that owe nothing.
        if (--m_owedWaiters == 0) {
            m_changeEvent.Reset();
            m_drainedEvent.Set();
        }
    } else if (registered) {
        --m_currentWaiters;
    }
    // Something changed (or, for a waiter that slept on the drained event, may now be
    // waited for properly): test again.
    if (generation != m_generation || (!registered && waited == XpWaitResult::Object0)) return XpRc::Ok;
    if (waited == XpWaitResult::Timeout) return deadline.HasPassed() ? XpRc::TimedOut : XpRc::Ok;
    return XpMapWaitResult(waited, error);
}

void XpComboSyncObject::SignalChange()
{
    ++m_generation;
    if (m_currentWaiters > 0) {
        m_owedWaiters += m_currentWaiters;
        m_currentWaiters = 0;
        m_drainedEvent.Reset();
    }
    m_changeEvent.Set();
    // A multi-waiter is not woken by its own thread: that thread is not waiting but
    // working (a waiter for all objects gives back what it obtained before it waits), and
    // it tests every object again before its next wait.
    const uint32_t self = XpPlatformCurrentThreadId();
    for (XpMultiWaiterBase* waiter : m_waiters)
        if (waiter->GetThreadId() != self) waiter->WakeUp();
}
