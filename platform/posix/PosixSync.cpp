#include <errno.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <new>
#include <utility>

#include "platform/PlatformErrors.h"
#include "platform/PlatformSync.h"
#include "platform/posix/PosixCommon.h"

static_assert(sizeof(pthread_mutex_t) <= 64, "storage too small for pthread_mutex_t");

namespace {
pthread_mutex_t* AsMutex(unsigned char* storage)
{
    return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}

constexpr long kNanosecondsPerSecond = 1000000000L;

// The given clock's time after the given milliseconds, as the timed waits take it.
timespec DeadlineOn(clockid_t clock, uint32_t milliseconds)
{
    timespec deadline{};
    clock_gettime(clock, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= kNanosecondsPerSecond) {
        deadline.tv_nsec -= kNanosecondsPerSecond;
        ++deadline.tv_sec;
    }
    return deadline;
}

uint32_t Failed(uint32_t* error, uint32_t code)
{
    *error = code;
    return XpWaitResult::Failed;
}

// The event: a flag guarded by a mutex, with a condition variable on the monotonic clock.
struct Event {
    pthread_mutex_t mutex;
    pthread_cond_t changed;
    bool signalled = false;
};

// The mutex: several objects may share it, the last one destroys it.
struct SharedMutex {
    pthread_mutex_t mutex;
    std::atomic<int> references{1};
};
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

uint32_t XpPlatformCurrentThreadId()
{
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

uint64_t XpPlatformMonotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

XpPlatformEvent::XpPlatformEvent() : m_handle(nullptr)
{
    Event* event = new (std::nothrow) Event;
    if (event == nullptr) return;
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    const bool made = pthread_mutex_init(&event->mutex, nullptr) == 0;
    if (made && pthread_cond_init(&event->changed, &attributes) == 0) {
        m_handle = event;
    } else {
        if (made) pthread_mutex_destroy(&event->mutex);
        delete event;
    }
    pthread_condattr_destroy(&attributes);
}

XpPlatformEvent::~XpPlatformEvent()
{
    Event* event = static_cast<Event*>(m_handle);
    if (event == nullptr) return;
    pthread_cond_destroy(&event->changed);
    pthread_mutex_destroy(&event->mutex);
    delete event;
}

uint32_t XpPlatformEvent::Set()
{
    Event* event = static_cast<Event*>(m_handle);
    if (event == nullptr) return XpWinError::InvalidHandle;
    pthread_mutex_lock(&event->mutex);
    event->signalled = true;
    pthread_cond_broadcast(&event->changed);
    pthread_mutex_unlock(&event->mutex);
    return 0;
}

uint32_t XpPlatformEvent::Reset()
{
    Event* event = static_cast<Event*>(m_handle);
    if (event == nullptr) return XpWinError::InvalidHandle;
    pthread_mutex_lock(&event->mutex);
    event->signalled = false;
    pthread_mutex_unlock(&event->mutex);
    return 0;
}

uint32_t XpPlatformEvent::Wait(uint32_t milliseconds, uint32_t* error)
{
    *error = 0;
    Event* event = static_cast<Event*>(m_handle);
    if (event == nullptr) return Failed(error, XpWinError::InvalidHandle);
    const bool timed = milliseconds != 0 && milliseconds != XpInfiniteWait;
    const timespec deadline = timed ? DeadlineOn(CLOCK_MONOTONIC, milliseconds) : timespec{};
    pthread_mutex_lock(&event->mutex);
    int rc = 0;
    while (!event->signalled && rc != ETIMEDOUT) {
        if (timed)
            rc = pthread_cond_timedwait(&event->changed, &event->mutex, &deadline);
        else if (milliseconds == 0)
            rc = ETIMEDOUT;
        else
            pthread_cond_wait(&event->changed, &event->mutex);
    }
    const bool signalled = event->signalled;
    pthread_mutex_unlock(&event->mutex);
    return signalled ? XpWaitResult::Object0 : XpWaitResult::Timeout;
}

XpPlatformMutex::XpPlatformMutex() : m_handle(nullptr)
{
    SharedMutex* shared = new (std::nothrow) SharedMutex;
    if (shared == nullptr) return;
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    if (pthread_mutex_init(&shared->mutex, &attributes) == 0)
        m_handle = shared;
    else
        delete shared;
    pthread_mutexattr_destroy(&attributes);
}

XpPlatformMutex::~XpPlatformMutex()
{
    SharedMutex* shared = static_cast<SharedMutex*>(m_handle);
    if (shared == nullptr || shared->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    pthread_mutex_destroy(&shared->mutex);
    delete shared;
}

XpPlatformMutex::XpPlatformMutex(XpPlatformMutex&& other) noexcept : m_handle(other.m_handle)
{
    other.m_handle = nullptr;
}

XpPlatformMutex& XpPlatformMutex::operator=(XpPlatformMutex&& other) noexcept
{
    if (this != &other) {
        XpPlatformMutex old(std::move(*this));
        m_handle = other.m_handle;
        other.m_handle = nullptr;
    }
    return *this;
}

XpPlatformMutex XpPlatformMutex::Duplicate() const
{
    SharedMutex* shared = static_cast<SharedMutex*>(m_handle);
    if (shared != nullptr) shared->references.fetch_add(1, std::memory_order_relaxed);
    return XpPlatformMutex(shared);
}

uint32_t XpPlatformMutex::Wait(uint32_t milliseconds, uint32_t* error)
{
    *error = 0;
    SharedMutex* shared = static_cast<SharedMutex*>(m_handle);
    if (shared == nullptr) return Failed(error, XpWinError::InvalidHandle);
    int rc;
    if (milliseconds == XpInfiniteWait) {
        rc = pthread_mutex_lock(&shared->mutex);
    } else if (milliseconds == 0) {
        rc = pthread_mutex_trylock(&shared->mutex);
    } else {
        // The mutex waits only on the wall clock; a clock change moves this time-out.
        const timespec deadline = DeadlineOn(CLOCK_REALTIME, milliseconds);
        rc = pthread_mutex_timedlock(&shared->mutex, &deadline);
    }
    switch (rc) {
        case 0:
            return XpWaitResult::Object0;
        case EOWNERDEAD:
            // Ours now; marked usable again, as Windows hands an abandoned mutex over.
            pthread_mutex_consistent(&shared->mutex);
            return XpWaitResult::Abandoned;
        case EBUSY:
        case ETIMEDOUT:
            return XpWaitResult::Timeout;
        case ENOTRECOVERABLE:
        case EINVAL:
            return Failed(error, XpWinError::InvalidHandle);
        default:
            return Failed(error, XpPosixWinError(rc));
    }
}

uint32_t XpPlatformMutex::Release()
{
    SharedMutex* shared = static_cast<SharedMutex*>(m_handle);
    if (shared == nullptr) return XpWinError::InvalidHandle;
    const int rc = pthread_mutex_unlock(&shared->mutex);
    return rc == 0 ? 0 : rc == EPERM ? XpWinError::NotOwner : XpPosixWinError(rc);
}
