#pragma once
// Critical section, thread identity, a monotonic clock, and the two waitable kernel
// objects of the synchronisation family: a manual-reset event and a mutex.
// Windows: CRITICAL_SECTION, GetCurrentThreadId, GetTickCount64, CreateEventW,
// CreateMutexW, WaitForSingleObject.
// Linux: a recursive pthread mutex (the same recursion rule as the Windows critical
// section), gettid, CLOCK_MONOTONIC; the event is our own (a flag under a pthread mutex
// and condition variable on the monotonic clock), the mutex a recursive robust pthread
// mutex, so that a thread ending while it holds the mutex leaves it abandoned, as on
// Windows.
//
// Waits answer as WaitForSingleObject does (XpWaitResult); a failed wait also gives the
// Windows error number that GetLastError would give.

#include <cstdint>

class XpPlatformCriticalSection {
public:
    XpPlatformCriticalSection();
    ~XpPlatformCriticalSection();
    XpPlatformCriticalSection(const XpPlatformCriticalSection&) = delete;
    XpPlatformCriticalSection& operator=(const XpPlatformCriticalSection&) = delete;

    void Enter();
    void Leave();

private:
    alignas(16) unsigned char m_storage[64];
};

// The calling thread's identifier, as GetCurrentThreadId gives it.
uint32_t XpPlatformCurrentThreadId();

// Milliseconds since an arbitrary start; never goes backwards, whatever the wall clock does.
uint64_t XpPlatformMonotonicMilliseconds();

// Results of a wait, numbered as WaitForSingleObject returns them.
namespace XpWaitResult {
inline constexpr uint32_t Object0 = 0;
inline constexpr uint32_t Abandoned = 0x80;
inline constexpr uint32_t Timeout = 0x102;
inline constexpr uint32_t Failed = 0xFFFFFFFF;
}  // namespace XpWaitResult

// A time-out in milliseconds that never ends (INFINITE).
inline constexpr uint32_t XpInfiniteWait = 0xFFFFFFFF;

// A manual-reset event, not signalled at creation. When the system refuses to create it,
// IsValid is false and every call fails with ERROR_INVALID_HANDLE.
class XpPlatformEvent {
public:
    XpPlatformEvent();
    ~XpPlatformEvent();
    XpPlatformEvent(const XpPlatformEvent&) = delete;
    XpPlatformEvent& operator=(const XpPlatformEvent&) = delete;

    bool IsValid() const { return m_handle != nullptr; }
    // Each returns 0 or a Windows error number.
    uint32_t Set();
    uint32_t Reset();
    // Waits until the event is signalled or the time-out ends; *error is set for Failed.
    uint32_t Wait(uint32_t milliseconds, uint32_t* error);

private:
    void* m_handle;
};

// A mutex owned by one thread at a time, recursive for its owner, not owned at creation.
// Several objects may stand for one mutex (Duplicate); the mutex lives until the last one
// is destroyed.
class XpPlatformMutex {
public:
    XpPlatformMutex();
    ~XpPlatformMutex();
    XpPlatformMutex(XpPlatformMutex&& other) noexcept;
    XpPlatformMutex& operator=(XpPlatformMutex&& other) noexcept;
    XpPlatformMutex(const XpPlatformMutex&) = delete;
    XpPlatformMutex& operator=(const XpPlatformMutex&) = delete;

    bool IsValid() const { return m_handle != nullptr; }
    // Another object for the same mutex; not valid when the system refused.
    XpPlatformMutex Duplicate() const;
    // Waits for ownership. Abandoned: its last owner ended without releasing it; the
    // caller owns it now. *error is set for Failed.
    uint32_t Wait(uint32_t milliseconds, uint32_t* error);
    // 0, or ERROR_NOT_OWNER when the calling thread does not own it.
    uint32_t Release();

private:
    explicit XpPlatformMutex(void* handle) : m_handle(handle) {}
    void* m_handle;
};
