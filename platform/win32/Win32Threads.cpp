#include <process.h>
#include <windows.h>

#include <new>

#include "platform/PlatformErrors.h"
#include "platform/PlatformThreads.h"

namespace {
// What the new thread needs to call the procedure; it frees the record itself.
struct StartRecord {
    XpPlatformThreadProc procedure;
    void* userData;
};

unsigned __stdcall StartRoutine(void* argument)
{
    StartRecord* record = static_cast<StartRecord*>(argument);
    const XpPlatformThreadProc procedure = record->procedure;
    void* const userData = record->userData;
    delete record;
    return procedure(userData);
}
}  // namespace

XpPlatformThread::~XpPlatformThread()
{
    if (m_started) CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

uint32_t XpPlatformThread::Start(XpPlatformThreadProc procedure, void* userData, uint32_t stackSize)
{
    if (m_started) return XpWinError::InvalidFunction;
    StartRecord* record = new (std::nothrow) StartRecord{procedure, userData};
    if (record == nullptr) return XpWinError::NotEnoughMemory;
    const uintptr_t handle = _beginthreadex(nullptr, stackSize, StartRoutine, record, 0, nullptr);
    if (handle == 0) {
        const uint32_t error = GetLastError();
        delete record;
        return error != 0 ? error : XpWinError::NotEnoughMemory;
    }
    m_handle = handle;
    m_started = true;
    return 0;
}

bool XpPlatformThread::IsCurrent() const
{
    return m_started && GetThreadId(reinterpret_cast<HANDLE>(m_handle)) == GetCurrentThreadId();
}

uint32_t XpPlatformThread::Join(uint32_t* exitCode, uint32_t* error)
{
    *error = 0;
    if (!m_started) {
        *error = XpWinError::InvalidHandle;
        return WAIT_FAILED;
    }
    HANDLE handle = reinterpret_cast<HANDLE>(m_handle);
    const DWORD result = WaitForSingleObject(handle, INFINITE);
    if (result == WAIT_FAILED) {
        *error = GetLastError();
        return result;
    }
    DWORD code = 0;
    if (!GetExitCodeThread(handle, &code)) {
        *error = GetLastError();
        return WAIT_FAILED;
    }
    m_joined = true;
    *exitCode = code;
    return result;
}
