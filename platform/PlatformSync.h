#pragma once
// Critical section and thread identity.
// Windows: CRITICAL_SECTION, GetCurrentThreadId.
// Linux: a recursive pthread mutex (the same recursion rule as the Windows critical
// section), gettid.

#include <cstdint>

class XpPlatformCriticalSection {
public:
    XpPlatformCriticalSection();
    ~XpPlatformCriticalSection();
    XpPlatformCriticalSection(const XpPlatformCriticalSection&) = delete;
    XpPlatformCriticalSection& operator=(const XpPlatformCriticalSection&) = delete;

    void Enter();
    void Leave();
    bool TryEnter();

private:
    alignas(16) unsigned char m_storage[64];
};

// The calling thread's identifier, as GetCurrentThreadId gives it.
uint32_t XpPlatformCurrentThreadId();
