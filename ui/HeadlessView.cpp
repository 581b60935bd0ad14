#include "ui/HeadlessView.h"

#include "ui/ModalDialog.h"

void HeadlessView::SetButtonText(const XpString& text)
{
    m_button = text;
    if (m_pressOnNewText && m_buttonTexts++ > 0 && m_dialog != nullptr) m_dialog->PostMessage(WM_COMMAND, IDCANCEL);
}

void HeadlessView::Create(ModalDialog* dialog)
{
    m_buttonTexts = 0;
    m_dialog = dialog;
    m_created = true;
}

void HeadlessView::Destroy()
{
    m_dialog = nullptr;
    m_destroyed = true;
    m_mark = XpString();
}

void HeadlessView::Show(DialogShow how)
{
    m_show = how;
}

void HeadlessView::SetText(DialogText which, const XpString& text)
{
    switch (which) {
        case DialogText::Main:
            m_main = text;
            m_mainHistory.push_back(text);
            break;
        case DialogText::Sub:
            m_sub = text;
            break;
        case DialogText::Progress:
            m_progress = text;
            m_progressHistory.push_back(text);
            break;
    }
}

void HeadlessView::SetMarquee(bool on)
{
    m_marquee = on;
    ++m_marqueeChanges;
}

void HeadlessView::SetInstanceMark(const XpString& key, bool on)
{
    m_mark = on ? key : XpString();
}

int HeadlessView::MessageBox(const XpString& text, const XpString& caption, uint32_t style)
{
    m_boxes.push_back(std::string(caption.ToNarrow().GetString()) + "|" + text.ToNarrow().GetString() + "|" +
                      std::to_string(style));
    if (m_answer) return m_answer(text, style);
    return (style & DialogBox::kYesNo) != 0 ? DialogBox::kIdNo : DialogBox::kIdOk;
}
