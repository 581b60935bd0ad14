#pragma once
// HeadlessView: a view without a window system that records what the dialog shows, for
// the tests. Message boxes are answered by a function that the test sets (IDOK, IDNO by
// default), on the UI thread, with the view still attached.

#include <functional>
#include <string>
#include <vector>

#include "ui/DialogView.h"

class HeadlessView : public DialogView {
public:
    using Answer = std::function<int(const XpString& text, uint32_t style)>;

    void Create(ModalDialog* dialog) override;
    void Destroy() override;
    void Show(DialogShow how) override;
    void SetTitle(const XpString& title) override { m_title = title; }
    void SetFonts(const DialogFonts& fonts) override { m_fonts = fonts; }
    void SetText(DialogText which, const XpString& text) override;
    void ShowProgressBar(bool visible) override { m_barVisible = visible; }
    void SetMarquee(bool on) override;
    void SetProgressPosition(int position) override { m_position = position; }
    void SetButtonText(const XpString& text) override;
    void EnableButton(bool enabled) override { m_buttonEnabled = enabled; }
    void EnableClose(bool enabled) override { m_closeEnabled = enabled; }
    void SetInstanceMark(const XpString& key, bool on) override;
    void Activate() override { ++m_activations; }
    bool ActivateOther(const XpString&) override
    {
        ++m_otherActivations;
        return false;
    }
    int MessageBox(const XpString& text, const XpString& caption, uint32_t style) override;

    void SetAnswer(Answer answer) { m_answer = std::move(answer); }
    // The user presses the button each time its text is set again after the first time
    // (the error screen's End).
    void PressOnNewButtonText(bool on) { m_pressOnNewText = on; }
    ModalDialog* Dialog() const { return m_dialog; }

    // What the dialog shows now.
    XpString m_title, m_main, m_sub, m_progress, m_button, m_mark;
    DialogFonts m_fonts;
    DialogShow m_show = DialogShow::Hide;
    bool m_barVisible = false, m_marquee = false, m_buttonEnabled = true, m_closeEnabled = true;
    int m_position = 0;
    int m_activations = 0;
    bool m_created = false, m_destroyed = false;
    // Every message box as "caption|text|style", and every change of the main text and
    // of the marquee, in order.
    std::vector<std::string> m_boxes;
    std::vector<XpString> m_mainHistory;
    std::vector<XpString> m_progressHistory;
    int m_otherActivations = 0;
    int m_marqueeChanges = 0;

private:
    ModalDialog* m_dialog = nullptr;
    Answer m_answer;
    bool m_pressOnNewText = false;
    int m_buttonTexts = 0;
};
