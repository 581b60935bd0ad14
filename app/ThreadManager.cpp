#include "app/ThreadManager.h"

#include "foundation/sync/XpThread.h"
#include "ui/ModalDialog.h"

struct ThreadManager::Run {
    Procedure procedure;
    void* parameter;
    std::atomic<bool> finished{false};
};

ThreadManager::~ThreadManager()
{
    Stop();
}

uint32_t ThreadManager::Trampoline(void* data)
{
    Run* run = static_cast<Run*>(data);
    const uint32_t result = run->procedure(run->parameter);
    run->finished.store(true);
    return result;
}

uint32_t ThreadManager::Start(Procedure procedure, void* parameter)
{
    Stop();
    m_bAbort.store(false);
    {
        std::lock_guard<std::mutex> hold(m_pauseLock);
        m_bPaused = false;
    }
    Run* run = new Run{procedure, parameter};
    XpThread* thread = XpThread::Create(&ThreadManager::Trampoline, run);
    if (thread == nullptr) {
        delete run;
        return 0;
    }
    m_pThread = thread;
    m_pRun = run;
    return 1;
}

bool ThreadManager::IsRunning()
{
    return m_pThread != nullptr && !m_pRun->finished.load();
}

void ThreadManager::Suspend()
{
    if (m_pThread == nullptr) return;
    std::lock_guard<std::mutex> hold(m_pauseLock);
    m_bPaused = true;
}

void ThreadManager::Resume()
{
    {
        std::lock_guard<std::mutex> hold(m_pauseLock);
        if (!m_bPaused) return;
        m_bPaused = false;
    }
    m_pauseEnded.notify_all();
}

void ThreadManager::Stop()
{
    m_bAbort.store(true);
    Resume();
    if (m_pThread == nullptr) return;
    XpThread::Join(m_pThread);
    m_pThread = nullptr;
    delete m_pRun;
    m_pRun = nullptr;
}

void ThreadManager::WaitWhilePaused()
{
    std::unique_lock<std::mutex> hold(m_pauseLock);
    m_pauseEnded.wait(hold, [this] { return !m_bPaused; });
}

bool ThreadManager::CheckAbort()
{
    WaitWhilePaused();
    return m_bAbort.load();
}

bool PostStageMessage(void* dialog, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (dialog == nullptr) return false;
    g_threadManager.WaitWhilePaused();
    return static_cast<ModalDialog*>(dialog)->PostMessage(message, wParam, lParam);
}
