#include <errno.h>
#include <limits.h>
#include <pthread.h>

#include <cstdint>
#include <new>

#include "platform/PlatformErrors.h"
#include "platform/PlatformSync.h"
#include "platform/PlatformThreads.h"
#include "platform/posix/PosixCommon.h"

namespace {
// What the new thread needs to call the procedure; it frees the record itself.
struct StartRecord {
    XpPlatformThreadProc procedure;
    void* userData;
};

void* StartRoutine(void* argument)
{
    StartRecord* record = static_cast<StartRecord*>(argument);
    const XpPlatformThreadProc procedure = record->procedure;
    void* const userData = record->userData;
    delete record;
    return reinterpret_cast<void*>(static_cast<uintptr_t>(procedure(userData)));
}

pthread_t AsThread(uintptr_t handle)
{
    return static_cast<pthread_t>(handle);
}
}  // namespace

static_assert(sizeof(pthread_t) <= sizeof(uintptr_t), "pthread_t must fit the handle");

XpPlatformThread::~XpPlatformThread()
{
    if (m_started && !m_joined) pthread_detach(AsThread(m_handle));
}

uint32_t XpPlatformThread::Start(XpPlatformThreadProc procedure, void* userData, uint32_t stackSize)
{
    if (m_started) return XpWinError::InvalidFunction;
    StartRecord* record = new (std::nothrow) StartRecord{procedure, userData};
    if (record == nullptr) return XpWinError::NotEnoughMemory;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    // As on Windows, a stack size is rounded up to what the system needs at least.
    if (stackSize != 0)
        pthread_attr_setstacksize(&attributes, stackSize < PTHREAD_STACK_MIN ? PTHREAD_STACK_MIN : stackSize);
    pthread_t thread;
    const int rc = pthread_create(&thread, &attributes, StartRoutine, record);
    pthread_attr_destroy(&attributes);
    if (rc != 0) {
        delete record;
        return rc == EAGAIN ? XpWinError::NotEnoughMemory : XpPosixWinError(rc);
    }
    m_handle = static_cast<uintptr_t>(thread);
    m_started = true;
    return 0;
}

bool XpPlatformThread::IsCurrent() const
{
    return m_started && pthread_equal(AsThread(m_handle), pthread_self());
}

uint32_t XpPlatformThread::Join(uint32_t* exitCode, uint32_t* error)
{
    *error = 0;
    if (!m_started || m_joined) {
        *error = XpWinError::InvalidHandle;
        return XpWaitResult::Failed;
    }
    void* result = nullptr;
    const int rc = pthread_join(AsThread(m_handle), &result);
    if (rc != 0) {
        *error = rc == EDEADLK ? XpWinError::InvalidParameter : XpWinError::InvalidHandle;
        return XpWaitResult::Failed;
    }
    m_joined = true;
    *exitCode = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(result));
    return XpWaitResult::Object0;
}
