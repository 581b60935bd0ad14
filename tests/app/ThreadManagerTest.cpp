#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/ThreadManager.h"

// The test program's stage thread manager, as the updater has its own.
ThreadManager g_threadManager;

namespace {

using namespace std::chrono_literals;

std::atomic<int> g_steps{0};
std::atomic<bool> g_release{false};

// Steps until told to abort, pausing at each checkpoint as a stage does.
uint32_t CountingProc(void*)
{
    while (!g_threadManager.CheckAbort()) {
        ++g_steps;
        std::this_thread::sleep_for(1ms);
    }
    return 0;
}

uint32_t WaitForReleaseProc(void*)
{
    while (!g_release.load()) std::this_thread::sleep_for(1ms);
    return 0;
}

TEST(ThreadManager, IdleCallsDoNothingAndStopOnlyRaisesTheFlag)
{
    ThreadManager manager;
    EXPECT_FALSE(manager.IsRunning());
    manager.Suspend();
    manager.Resume();
    EXPECT_FALSE(manager.IsRunning());
    manager.Stop();
    EXPECT_TRUE(manager.m_bAbort.load());
}

TEST(ThreadManager, PauseHoldsTheWorkerAtItsCheckpointAndResumeLetsItGoOn)
{
    g_steps = 0;
    ASSERT_EQ(g_threadManager.Start(&CountingProc, nullptr), 1u);
    EXPECT_FALSE(g_threadManager.m_bAbort.load());
    while (g_steps < 3) std::this_thread::sleep_for(1ms);
    g_threadManager.Suspend();
    std::this_thread::sleep_for(20ms);  // at most one step may finish after the pause
    const int paused = g_steps;
    std::this_thread::sleep_for(50ms);
    EXPECT_LE(g_steps - paused, 1);
    EXPECT_TRUE(g_threadManager.IsRunning());
    g_threadManager.Resume();
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (g_steps < paused + 5 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_GE(g_steps, paused + 5);
    // A paused worker is let go by Stop and sees the flag.
    g_threadManager.Suspend();
    g_threadManager.Stop();
    EXPECT_FALSE(g_threadManager.IsRunning());
    EXPECT_TRUE(g_threadManager.m_bAbort.load());
}

TEST(ThreadManager, StartWaitsForThePreviousWorkerAndIsRunningEndsWithTheProcedure)
{
    g_release = false;
    ASSERT_EQ(g_threadManager.Start(&WaitForReleaseProc, nullptr), 1u);
    EXPECT_TRUE(g_threadManager.IsRunning());
    g_release = true;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (g_threadManager.IsRunning() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(g_threadManager.IsRunning());

    g_steps = 0;
    ASSERT_EQ(g_threadManager.Start(&CountingProc, nullptr), 1u);
    // The next Start stops the counter (it only ends on the flag) before its own begins.
    ASSERT_EQ(g_threadManager.Start(&WaitForReleaseProc, nullptr), 1u);
    const int afterStop = g_steps;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(g_steps, afterStop);
    EXPECT_FALSE(g_threadManager.m_bAbort.load());
    g_threadManager.Stop();
}

}  // namespace
