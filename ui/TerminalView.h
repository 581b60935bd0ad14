#pragma once
// TerminalView: the dialog on a terminal, for a system without a display. It prints every
// change of the title, the three texts and the button, and message boxes with their
// answers.
//
// Input: when a person can type (the standard input is a terminal), a line presses the
// button and a message box waits for its answer ("y" is Yes). When nobody can (input from
// a file or pipe, or its end reached), questions are answered No and the button is
// pressed each time its text is set again after the first time (the error screen's
// "End"), so that a run without input ends by itself.

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>

#include "ui/DialogView.h"

class TerminalView : public DialogView {
public:
    // Output to out; interactive: lines are read from the standard input.
    TerminalView(std::FILE* out, bool interactive);

    void Create(ModalDialog* dialog) override;
    void Destroy() override;
    void Show(DialogShow how) override;
    void SetTitle(const XpString& title) override { Print("title", title, m_title); }
    void SetFonts(const DialogFonts&) override {}
    void SetText(DialogText which, const XpString& text) override;
    void ShowProgressBar(bool) override {}
    void SetMarquee(bool) override {}
    void SetProgressPosition(int) override {}
    void SetButtonText(const XpString& text) override;
    void EnableButton(bool enabled) override;
    void EnableClose(bool) override {}
    void SetInstanceMark(const XpString&, bool) override {}
    void Activate() override {}
    bool ActivateOther(const XpString&) override { return false; }
    int MessageBox(const XpString& text, const XpString& caption, uint32_t style) override;

private:
    void Print(const char* what, const XpString& text, XpString& shown);
    void StartReader();
    void ReadLines();
    void PressButton();
    // The next line typed, or false at the end of the input.
    bool NextLine(std::string& line);

    std::FILE* m_out;
    XpString m_title, m_main, m_sub, m_progress, m_button;
    bool m_buttonEnabled = true;
    int m_buttonTexts = 0;

    std::mutex m_lock;
    std::condition_variable m_lineArrived;
    ModalDialog* m_dialog = nullptr;
    bool m_interactive;
    bool m_readerStarted = false;
    bool m_inputEnded = false;
    bool m_waitingForAnswer = false;
    std::deque<std::string> m_lines;
};
