#pragma once
// MainDlg: the progress dialog and the stage machine. The stage is carried by the
// messages: each start message starts one stage thread, each done message posts the next
// start, WM_STAGE_FAILED shows the error screen, WM_INSTALL_DONE ends the dialog with the
// installer's result. The decisions depend only on the message, its parameters, the test
// flags and m_bAskOnClose.

#include <cstdint>
#include <deque>

#include "foundation/text/XpString.h"
#include "ui/MainDlgHost.h"
#include "ui/ModalDialog.h"

class MainDlg : public ModalDialog {
public:
    // Test bit value 4 of the test flags: the dialog's diagnostic mode.
    static constexpr uint32_t kTestFlagDiagnostic = 4;

    MainDlg(DialogView& view, MainDlgHost& host);

    // The fonts for a language code: "MS UI Gothic" for exactly "JP", else
    // "Arial Unicode MS"; main text 11 point bold, sub text 10 point.
    static DialogFonts FontsFor(const XpString& language);
    // The percent (0..100) that the progress shows for done of total bytes.
    static int ProgressPercent(uint32_t done, uint32_t total);

    bool AskOnClose() const { return m_bAskOnClose; }

protected:
    bool OnInitDialog() override;
    void OnCancel() override;
    bool OnWndMsg(const DialogMessage& message) override;
    bool OnMessage(const DialogMessage& message) override;
    void OnDestroy() override;

private:
    void ShowProgress(uint32_t done, uint32_t total);
    void ShowError(uint32_t code, intptr_t detail);
    void EndInstallation(uintptr_t runStatus, intptr_t exitCode);
    void StartStage(Stage stage);
    void SetMarquee(bool on);
    void SetText(DialogText which, const XpChar* key);
    bool Diagnostic() { return (m_host.TestFlags() & kTestFlagDiagnostic) != 0; }
    // The abort filter, the host-product notice and the dispatch.
    bool FilterAndDispatch(const DialogMessage& message);
    // After "No": the stage messages held back while the question was open, in order.
    void ReleaseHeldMessages();

    MainDlgHost& m_host;
    bool m_bAskOnClose = false;
    bool m_bMarquee = false;
    // The close question is on screen: stage messages wait in m_held.
    bool m_bQuestionOpen = false;
    bool m_bReleasing = false;
    std::deque<DialogMessage> m_held;
    // Texts looked up once, on first use.
    bool m_bUnitFetched = false;
    XpString m_strUnit;
    bool m_bRunningFetched = false;
    XpString m_strRunning;
};
