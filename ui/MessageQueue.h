#pragma once
// The posted-message queue of a dialog on the views that have no system queue of their
// own: any thread posts, the UI thread takes the messages in the order posted.

#include <condition_variable>
#include <deque>
#include <mutex>

#include "ui/DialogMessages.h"

class MessageQueue {
public:
    // Any thread.
    void Post(const DialogMessage& message);
    // The oldest message, if any, without waiting.
    bool TryTake(DialogMessage& message);
    // The oldest message, waiting until one comes.
    DialogMessage Take();

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<DialogMessage> m_messages;
};
