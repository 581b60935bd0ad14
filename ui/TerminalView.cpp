#include "ui/TerminalView.h"

#include <thread>

#include "ui/ModalDialog.h"

TerminalView::TerminalView(std::FILE* out, bool interactive) : m_out(out), m_interactive(interactive) {}

void TerminalView::Create(ModalDialog* dialog)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_dialog = dialog;
    }
    StartReader();
}

void TerminalView::Destroy()
{
    std::lock_guard<std::mutex> hold(m_lock);
    m_dialog = nullptr;
}

void TerminalView::Print(const char* what, const XpString& text, XpString& shown)
{
    if (text == shown) return;
    shown = text;
    std::fprintf(m_out, "%s: %s\n", what, text.ToNarrow().GetString());
    std::fflush(m_out);
}

void TerminalView::Show(DialogShow how)
{
    static const char* const kNames[] = {"shown", "hidden", "minimised"};
    std::fprintf(m_out, "window: %s\n", kNames[static_cast<int>(how)]);
    std::fflush(m_out);
}

void TerminalView::SetText(DialogText which, const XpString& text)
{
    switch (which) {
        case DialogText::Main:
            Print("main", text, m_main);
            break;
        case DialogText::Sub:
            Print("sub", text, m_sub);
            break;
        case DialogText::Progress:
            Print("progress", text, m_progress);
            break;
    }
}

void TerminalView::SetButtonText(const XpString& text)
{
    if (m_buttonTexts++ == 0 || !(text == m_button)) {
        m_button = text;
        std::fprintf(m_out, "button: [%s]%s\n", text.ToNarrow().GetString(), m_buttonEnabled ? "" : " (disabled)");
        std::fflush(m_out);
    }
    bool automatic;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        automatic = !m_interactive || m_inputEnded;
    }
    if (automatic && m_buttonTexts > 1) PressButton();
}

void TerminalView::EnableButton(bool enabled)
{
    if (enabled == m_buttonEnabled) return;
    m_buttonEnabled = enabled;
    std::fprintf(m_out, "button: [%s]%s\n", m_button.ToNarrow().GetString(), enabled ? "" : " (disabled)");
    std::fflush(m_out);
}

void TerminalView::PressButton()
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_dialog != nullptr) m_dialog->PostMessage(WM_COMMAND, IDCANCEL, 0);
}

void TerminalView::StartReader()
{
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_interactive || m_readerStarted) return;
    m_readerStarted = true;
    // The reader blocks in the input until a line comes; it is left running at the end of
    // the program (the view lives as long as the process).
    std::thread([this] { ReadLines(); }).detach();
}

void TerminalView::ReadLines()
{
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, stdin) != nullptr) {
        std::unique_lock<std::mutex> hold(m_lock);
        if (m_waitingForAnswer) {
            m_lines.push_back(buffer);
            m_lineArrived.notify_all();
        } else if (m_dialog != nullptr) {
            m_dialog->PostMessage(WM_COMMAND, IDCANCEL, 0);
        }
    }
    ModalDialog* dialog;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_inputEnded = true;
        m_lineArrived.notify_all();
        dialog = m_dialog;
        // Nobody will press the button any more: press it once now; a question that it
        // raises is answered No, and the next button text presses it again.
        if (dialog != nullptr) dialog->PostMessage(WM_COMMAND, IDCANCEL, 0);
    }
}

bool TerminalView::NextLine(std::string& line)
{
    StartReader();
    std::unique_lock<std::mutex> hold(m_lock);
    if (!m_interactive) return false;
    m_waitingForAnswer = true;
    m_lineArrived.wait(hold, [this] { return !m_lines.empty() || m_inputEnded; });
    m_waitingForAnswer = false;
    if (m_lines.empty()) return false;
    line = m_lines.front();
    m_lines.pop_front();
    return true;
}

int TerminalView::MessageBox(const XpString& text, const XpString& caption, uint32_t style)
{
    const bool question = (style & DialogBox::kYesNo) != 0;
    std::fprintf(m_out, "%s: %s %s\n", caption.ToNarrow().GetString(), text.ToNarrow().GetString(),
                 question ? "[y/N]" : "[OK]");
    std::fflush(m_out);
    std::string line;
    const bool typed = NextLine(line);
    if (!question) return DialogBox::kIdOk;
    const bool yes = typed && (line[0] == 'y' || line[0] == 'Y');
    std::fprintf(m_out, "answer: %s%s\n", yes ? "Yes" : "No", typed ? "" : " (no input)");
    std::fflush(m_out);
    return yes ? DialogBox::kIdYes : DialogBox::kIdNo;
}
