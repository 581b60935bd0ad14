#pragma once
// A thread of the foundation library: it runs a procedure with the caller's data and ends
// with the procedure's 32-bit result as its exit code.

#include <cstdint>

#include "foundation/XpResult.h"
#include "platform/PlatformThreads.h"

class XpThread {
public:
    using Procedure = uint32_t (*)(void* userData);

    // A running thread, or null when none could be started (stack size 0: the default).
    static XpThread* Create(Procedure procedure, void* userData, uint32_t stackSize = 0);
    // Waits for the thread's end, deletes the object and gives the exit code (or the code
    // of a failed wait). A null thread is XpRc::InvalidHandle; a thread that would join
    // itself gets XpRc::JoinSelf, and its object is kept.
    static uint32_t Join(XpThread* thread);

    // Closes the thread's handle; does not wait for the thread nor stop it.
    virtual ~XpThread() = default;
    XpThread(const XpThread&) = delete;
    XpThread& operator=(const XpThread&) = delete;

    // The calling thread is this thread.
    bool IsCurrent() const { return m_thread.IsCurrent(); }

private:
    XpThread() = default;
    XpPlatformThread m_thread;
};
