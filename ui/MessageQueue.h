#pragma once
// The posted-message queue of a dialog on the views that have no system queue of their
// own: any thread posts, the UI thread takes the messages in the order posted.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "ui/DialogMessages.h"

class MessageQueue {
public:
    // Any thread.
    void Post(const DialogMessage& message);
    // The oldest message, if any, without waiting.
    bool TryTake(DialogMessage& message);
    // Waits until a message is waiting, without taking it.
    void Wait();
    // Called after every post, on the posting thread, outside the queue's lock: a window
    // system's view wakes its own event loop with it (an empty function: none).
    void SetWaker(std::function<void()> waker);

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<DialogMessage> m_messages;
    std::function<void()> m_waker;
};
