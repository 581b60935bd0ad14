#include "ui/MessageQueue.h"

void MessageQueue::Post(const DialogMessage& message)
{
    std::function<void()> waker;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_messages.push_back(message);
        waker = m_waker;
    }
    m_arrived.notify_one();
    if (waker) waker();
}

void MessageQueue::Wait()
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait(hold, [this] { return !m_messages.empty(); });
}

void MessageQueue::SetWaker(std::function<void()> waker)
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_waker = std::move(waker);
}

bool MessageQueue::TryTake(DialogMessage& message)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_messages.empty()) return false;
    message = m_messages.front();
    m_messages.pop_front();
    return true;
}
