#include "foundation/sync/XpThread.h"

#include <new>

XpThread* XpThread::Create(Procedure procedure, void* userData, uint32_t stackSize)
{
    if (procedure == nullptr) return nullptr;
    XpThread* thread = new (std::nothrow) XpThread;
    if (thread == nullptr) return nullptr;
    if (thread->m_thread.Start(procedure, userData, stackSize) != 0) {
        delete thread;
        return nullptr;
    }
    return thread;
}

uint32_t XpThread::Join(XpThread* thread)
{
    if (thread == nullptr) return XpRc::InvalidHandle;
    if (thread->IsCurrent()) return XpRc::JoinSelf;
    uint32_t exitCode = 0;
    uint32_t error = 0;
    const uint32_t waited = thread->m_thread.Join(&exitCode, &error);
    delete thread;
    return waited == 0 ? exitCode : XpMapWaitResult(waited, error);
}
