#pragma once
// ModalDialog: the framework's modal dialog on a DialogView. DoModal creates the view,
// runs OnInitDialog and then the modal loop, which takes the posted messages in the order
// posted and hands each to OnWndMsg (the pre-dispatch hook) until EndDialog; OnDestroy
// runs before the view goes. Everything but PostMessage belongs to the UI thread, the
// thread that called DoModal.

#include <cstdint>

#include "ui/DialogMessages.h"
#include "ui/DialogView.h"
#include "ui/MessageQueue.h"

class ModalDialog {
public:
    explicit ModalDialog(DialogView& view) : m_view(view) {}
    virtual ~ModalDialog() = default;
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Runs the dialog until EndDialog; gives EndDialog's result.
    intptr_t DoModal();
    // Ends the modal loop once the current handler returns; the first result counts.
    void EndDialog(intptr_t result);
    bool IsEnded() const { return m_ended; }

    // Any thread: queues a message for the UI thread. Never fails on this queue.
    bool PostMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0);
    // UI thread: handles the messages waiting now, one by one, and gives their number.
    // Stops when the dialog has ended; after the end it only discards what is left.
    int PumpPendingMessages();

    DialogView& View() { return m_view; }
    // The posted-message queue, for a view that wakes its own event loop on a post.
    MessageQueue& Queue() { return m_queue; }

    // The button and the Close item, through the view; the framework ignores the button
    // while it is disabled and the Close item while it is grayed.
    void EnableButton(bool enabled);
    void EnableClose(bool enabled);

protected:
    virtual bool OnInitDialog() { return true; }
    // The button, Esc or the Close item: by default the dialog ends with IDCANCEL.
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Runs before every message is dispatched; true when the message was handled.
    virtual bool OnWndMsg(const DialogMessage& message) { return Dispatch(message); }
    // The framework's dispatch: the user's commands to OnCancel, the rest to OnMessage.
    bool Dispatch(const DialogMessage& message);
    virtual bool OnMessage(const DialogMessage&) { return false; }
    // The window is about to go.
    virtual void OnDestroy() {}

private:
    DialogView& m_view;
    MessageQueue m_queue;
    bool m_ended = false;
    bool m_destroyed = false;
    intptr_t m_result = 0;
    bool m_buttonEnabled = true;
    bool m_closeEnabled = true;
};
