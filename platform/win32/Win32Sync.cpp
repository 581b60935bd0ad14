#include <windows.h>

#include <new>

#include "platform/PlatformErrors.h"
#include "platform/PlatformSync.h"

static_assert(sizeof(CRITICAL_SECTION) <= 64, "storage too small for CRITICAL_SECTION");
static_assert(XpWaitResult::Object0 == WAIT_OBJECT_0 && XpWaitResult::Abandoned == WAIT_ABANDONED &&
                  XpWaitResult::Timeout == WAIT_TIMEOUT && XpWaitResult::Failed == WAIT_FAILED &&
                  XpInfiniteWait == INFINITE,
              "wait results numbered as Windows numbers them");

namespace {
CRITICAL_SECTION* AsSection(unsigned char* storage)
{
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

uint32_t WaitOn(void* handle, uint32_t milliseconds, uint32_t* error)
{
    if (handle == nullptr) {
        *error = XpWinError::InvalidHandle;
        return XpWaitResult::Failed;
    }
    const DWORD result = WaitForSingleObject(handle, milliseconds);
    *error = result == WAIT_FAILED ? GetLastError() : 0;
    return result;
}

uint32_t LastErrorUnless(BOOL succeeded)
{
    return succeeded ? 0 : GetLastError();
}
}  // namespace

XpPlatformCriticalSection::XpPlatformCriticalSection()
{
    InitializeCriticalSection(new (m_storage) CRITICAL_SECTION);
}

XpPlatformCriticalSection::~XpPlatformCriticalSection()
{
    DeleteCriticalSection(AsSection(m_storage));
}

void XpPlatformCriticalSection::Enter()
{
    EnterCriticalSection(AsSection(m_storage));
}

void XpPlatformCriticalSection::Leave()
{
    LeaveCriticalSection(AsSection(m_storage));
}

uint32_t XpPlatformCurrentThreadId()
{
    return GetCurrentThreadId();
}

uint64_t XpPlatformMonotonicMilliseconds()
{
    return GetTickCount64();
}

XpPlatformEvent::XpPlatformEvent() : m_handle(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

XpPlatformEvent::~XpPlatformEvent()
{
    if (m_handle != nullptr) CloseHandle(m_handle);
}

uint32_t XpPlatformEvent::Set()
{
    return m_handle == nullptr ? XpWinError::InvalidHandle : LastErrorUnless(SetEvent(m_handle));
}

uint32_t XpPlatformEvent::Reset()
{
    return m_handle == nullptr ? XpWinError::InvalidHandle : LastErrorUnless(ResetEvent(m_handle));
}

uint32_t XpPlatformEvent::Wait(uint32_t milliseconds, uint32_t* error)
{
    return WaitOn(m_handle, milliseconds, error);
}

XpPlatformMutex::XpPlatformMutex() : m_handle(CreateMutexW(nullptr, FALSE, nullptr)) {}

XpPlatformMutex::~XpPlatformMutex()
{
    if (m_handle != nullptr) CloseHandle(m_handle);
}

XpPlatformMutex::XpPlatformMutex(XpPlatformMutex&& other) noexcept : m_handle(other.m_handle)
{
    other.m_handle = nullptr;
}

XpPlatformMutex& XpPlatformMutex::operator=(XpPlatformMutex&& other) noexcept
{
    if (this != &other) {
        if (m_handle != nullptr) CloseHandle(m_handle);
        m_handle = other.m_handle;
        other.m_handle = nullptr;
    }
    return *this;
}

XpPlatformMutex XpPlatformMutex::Duplicate() const
{
    HANDLE copy = nullptr;
    if (m_handle == nullptr ||
        !DuplicateHandle(GetCurrentProcess(), m_handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        copy = nullptr;
    return XpPlatformMutex(copy);
}

uint32_t XpPlatformMutex::Wait(uint32_t milliseconds, uint32_t* error)
{
    return WaitOn(m_handle, milliseconds, error);
}

uint32_t XpPlatformMutex::Release()
{
    return m_handle == nullptr ? XpWinError::InvalidHandle : LastErrorUnless(ReleaseMutex(m_handle));
}
