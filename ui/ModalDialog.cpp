#include "ui/ModalDialog.h"

void DialogView::WaitForMessages(MessageQueue& queue)
{
    queue.Wait();
}

intptr_t ModalDialog::DoModal()
{
    m_ended = false;
    m_destroyed = false;
    m_result = 0;
    m_buttonEnabled = true;
    m_closeEnabled = true;
    m_view.Create(this);
    OnInitDialog();
    DialogMessage message;
    while (!m_ended) {
        if (m_queue.TryTake(message))
            OnWndMsg(message);
        else
            m_view.WaitForMessages(m_queue);
    }
    OnDestroy();
    m_view.Destroy();
    m_destroyed = true;
    return m_result;
}

void ModalDialog::EndDialog(intptr_t result)
{
    if (m_ended) return;
    m_result = result;
    m_ended = true;
}

bool ModalDialog::PostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    m_queue.Post(DialogMessage{message, wParam, lParam});
    return true;
}

int ModalDialog::PumpPendingMessages()
{
    int count = 0;
    DialogMessage message;
    while ((!m_ended || m_destroyed) && m_queue.TryTake(message)) {
        if (!m_destroyed) OnWndMsg(message);
        ++count;
    }
    return count;
}

void ModalDialog::EnableButton(bool enabled)
{
    m_buttonEnabled = enabled;
    m_view.EnableButton(enabled);
}

void ModalDialog::EnableClose(bool enabled)
{
    m_closeEnabled = enabled;
    m_view.EnableClose(enabled);
}

bool ModalDialog::Dispatch(const DialogMessage& message)
{
    if (message.message == WM_COMMAND && message.wParam == IDCANCEL) {
        if (m_buttonEnabled) OnCancel();
        return true;
    }
    if (message.message == WM_SYSCOMMAND && message.wParam == SC_CLOSE) {
        if (m_closeEnabled) OnCancel();
        return true;
    }
    return OnMessage(message);
}
