#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <new>

#include "platform/PlatformSync.h"

static_assert(sizeof(pthread_mutex_t) <= 64, "storage too small for pthread_mutex_t");

namespace {
pthread_mutex_t* AsMutex(unsigned char* storage)
{
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}
}  // namespace

XpPlatformCriticalSection::XpPlatformCriticalSection()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_t* mutex = new (m_storage) pthread_mutex_t;
    pthread_mutex_init(mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

XpPlatformCriticalSection::~XpPlatformCriticalSection()
{
    pthread_mutex_destroy(AsMutex(m_storage));
}

void XpPlatformCriticalSection::Enter()
{
    pthread_mutex_lock(AsMutex(m_storage));
}

void XpPlatformCriticalSection::Leave()
{
    pthread_mutex_unlock(AsMutex(m_storage));
}

bool XpPlatformCriticalSection::TryEnter()
{
    return pthread_mutex_trylock(AsMutex(m_storage)) == 0;
}

uint32_t XpPlatformCurrentThreadId()
{
    return static_cast<uint32_t>(syscall(SYS_gettid));
}
