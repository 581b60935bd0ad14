#include "ui/MessageQueue.h"

void MessageQueue::Post(const DialogMessage& message)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_messages.push_back(message);
    }
    m_arrived.notify_one();
}

bool MessageQueue::TryTake(DialogMessage& message)
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_messages.empty()) return false;
    message = m_messages.front();
    m_messages.pop_front();
    return true;
}

DialogMessage MessageQueue::Take()
{
    std::unique_lock<std::mutex> hold(m_lock);
    m_arrived.wait(hold, [this] { return !m_messages.empty(); });
    const DialogMessage message = m_messages.front();
    m_messages.pop_front();
    return message;
}
