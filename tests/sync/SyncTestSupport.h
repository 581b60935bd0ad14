// Helpers for the tests of the synchronisation family: threads that run a lambda, a
// stopwatch, polling with a bound, and a guard that ends a run that hangs instead of
// letting it block the whole suite.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "foundation/sync/XpComboSyncObject.h"

namespace kestrow_test {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline void SleepMs(int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Polls until the condition holds or the seconds are over; the condition's last answer.
inline bool Eventually(const std::function<bool()>& condition, double seconds = 5.0)
{
    const Clock::time_point start = Clock::now();
    while (!condition()) {
        if (SecondsSince(start) > seconds) return false;
        SleepMs(2);
    }
    return true;
}

// What a request (a lambda) answers on another thread; what it obtained is given back
// there at once.
template <typename Request>
XpResult FromOtherThread(XpSyncObject& object, Request request)
{
    XpResult rc = XpRc::Failure;
    std::thread([&] {
        rc = request();
        if (rc == XpRc::Ok) object.Unlock();
    }).join();
    return rc;
}

// Whether another thread could take the object now.
inline bool FreeForOthers(XpComboSyncObject& object)
{
    return FromOtherThread(object, [&] { return object.LockFor(0); }) == XpRc::Ok;
}

// A shared request on another thread.
template <typename Lock>
XpResult SharedFromOtherThread(Lock& lock)
{
    return FromOtherThread(lock, [&] { return lock.TryLockShared(); });
}

// Threads that are all joined before the object goes, however the test ends. When they
// have not all finished within the bound, a waiter hangs: the run stops at once, since
// the hung threads still use the test's objects.
class BoundedThreads {
public:
    explicit BoundedThreads(double boundSeconds = 10.0) : m_boundSeconds(boundSeconds) {}
    ~BoundedThreads() { JoinAll(); }

    void Start(std::function<void()> work)
    {
        m_threads.emplace_back([this, work = std::move(work)] {
            work();
            ++m_finished;
        });
    }
    size_t Finished() const { return m_finished; }
    void JoinAll()
    {
        const bool done = Eventually([this] { return m_finished == m_threads.size(); }, m_boundSeconds);
        if (!done) {
            std::fprintf(stderr, "FATAL: %zu of %zu threads still wait after %.0f s\n", m_threads.size() - m_finished,
                         m_threads.size(), m_boundSeconds);
            std::fflush(stderr);
            std::_Exit(1);
        }
        for (std::thread& thread : m_threads) thread.join();
        m_threads.clear();
        m_finished = 0;
    }

private:
    double m_boundSeconds;
    std::vector<std::thread> m_threads;
    std::atomic<size_t> m_finished{0};
};

}  // namespace kestrow_test
