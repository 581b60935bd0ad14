#pragma once
// ThreadManager: the one worker thread of the stages. Start stops any previous worker and
// starts the next; Suspend and Resume pause the worker at a safe point for the close
// question; Stop raises the abort flag, lets a paused worker go on and waits for its end.
// All calls but the worker's own (CheckAbort, PostStageMessage) belong to the UI thread.
//
// The stage-procedure contract: a procedure takes the dialog (a ModalDialog*) as its
// parameter and returns 0 or 0xFFFFFFFF; with a null parameter it returns 0xFFFFFFFF at
// once. It reports only through PostStageMessage, ends by posting exactly one message
// that moves the stage machine on, and between its steps asks CheckAbort (long loops may
// read the flag through AbortFlag()); when the flag is set it returns without posting.
// It never touches the dialog otherwise.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class XpThread;

class ThreadManager {
public:
    using Procedure = uint32_t (*)(void* parameter);

    ThreadManager() = default;
    // As Stop: a worker left at process exit is told to abort and waited for.
    virtual ~ThreadManager();
    ThreadManager(const ThreadManager&) = delete;
    ThreadManager& operator=(const ThreadManager&) = delete;

    // Stop, clear the abort flag, start the procedure with the parameter. 1 when the
    // worker runs; 0 when no thread could be started (none exists then).
    virtual uint32_t Start(Procedure procedure, void* parameter);
    // A worker exists and has not returned yet.
    virtual bool IsRunning();
    // The worker pauses at its next CheckAbort or PostStageMessage until Resume or Stop.
    // It is never stopped at an arbitrary instruction, so it cannot hold a lock (the
    // heap's, the strings') that the UI thread needs meanwhile.
    virtual void Suspend();
    virtual void Resume();
    // Abort flag up, a paused worker let go, its end waited for without time-out.
    virtual void Stop();

    // The abort flag alone, the worker left as it is (paused or not).
    void RequestAbort() { m_bAbort.store(true); }
    bool IsAbortRequested() const { return m_bAbort.load(); }
    const std::atomic<bool>* AbortFlag() const { return &m_bAbort; }

    // Worker side: waits while paused, then tells whether to abort.
    bool CheckAbort();
    // Worker side: waits while paused.
    void WaitWhilePaused();

    // The abort request, read by the stage threads at their checkpoints.
    std::atomic<bool> m_bAbort{false};

private:
    struct Run;
    static uint32_t Trampoline(void* run);

    XpThread* m_pThread = nullptr;
    Run* m_pRun = nullptr;
    std::mutex m_pauseLock;
    std::condition_variable m_pauseEnded;
    bool m_bPaused = false;
};

// The process-wide stage thread manager; the program defines it after its application
// object, the tests in their own program.
extern ThreadManager g_threadManager;

// Worker side: posts a stage message to the dialog given as the procedure's parameter,
// after waiting while the worker is paused. False for a null dialog.
bool PostStageMessage(void* dialog, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
