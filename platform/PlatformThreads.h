#pragma once
// Threads that run a procedure and end with its 32-bit exit code.
// Windows: _beginthreadex, WaitForSingleObject and GetExitCodeThread, CloseHandle.
// Linux: pthread_create and pthread_join; a thread that is never joined is detached when
// its object goes, so that its resources are freed when it ends.

#include <cstdint>

using XpPlatformThreadProc = uint32_t (*)(void* userData);

class XpPlatformThread {
public:
    XpPlatformThread() = default;
    // Closes the handle; neither waits for the thread nor stops it.
    ~XpPlatformThread();
    XpPlatformThread(const XpPlatformThread&) = delete;
    XpPlatformThread& operator=(const XpPlatformThread&) = delete;

    // Starts the thread at once (stack size 0: the default). 0 or a Windows error number.
    uint32_t Start(XpPlatformThreadProc procedure, void* userData, uint32_t stackSize);
    // The calling thread is this thread.
    bool IsCurrent() const;
    // Waits for the thread's end and gives its exit code. Answers as WaitForSingleObject
    // does; *error is set for Failed.
    uint32_t Join(uint32_t* exitCode, uint32_t* error);

private:
    bool m_started = false;
    bool m_joined = false;
    uintptr_t m_handle = 0;
};
