#include "foundation/sync/XpComboSyncObject.h"

#include <algorithm>
#include <new>

#include "foundation/sync/XpMultiLock.h"

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
    if (m_owedWaiters == 0) m_changeEvent.Reset();
    const uint64_t generation = m_generation;
    ++m_currentWaiters;

    m_innerLock.Unlock();
    uint32_t error = 0;
    const uint32_t waited = m_changeEvent.Wait(deadline.NextWaitMilliseconds(), &error);
    m_innerLock.Lock();

    if (generation != m_generation) {
        // Woken by a signal (or it came while this waiter was on its way): test again.
        // The last owed waiter back leaves the event to the waiters that owe nothing.
        if (--m_owedWaiters == 0) m_changeEvent.Reset();
        return XpRc::Ok;
    }
    --m_currentWaiters;
    if (waited == XpWaitResult::Timeout) return deadline.HasPassed() ? XpRc::TimedOut : XpRc::Ok;
    return XpMapWaitResult(waited, error);
}

void XpComboSyncObject::SignalChange()
{
    ++m_generation;
    m_owedWaiters += m_currentWaiters;
    m_currentWaiters = 0;
    m_changeEvent.Set();
    // A multi-waiter is not woken by its own thread: that thread is not waiting but
    // working (a waiter for all objects gives back what it obtained before it waits), and
    // it tests every object again before its next wait.
    const uint32_t self = XpPlatformCurrentThreadId();
    for (XpMultiWaiterBase* waiter : m_waiters)
        if (waiter->GetThreadId() != self) waiter->WakeUp();
}
