#include "ui/MainDlg.h"

MainDlg::MainDlg(DialogView& view, MainDlgHost& host) : ModalDialog(view), m_host(host) {}

DialogFonts MainDlg::FontsFor(const XpString& language)
{
    DialogFonts fonts;
    fonts.face = language == XpString(XP_T("JP")) ? XpString(XP_T("MS UI Gothic")) : XpString(XP_T("Arial Unicode MS"));
    fonts.mainTenths = 110;
    fonts.mainWeight = 700;
    fonts.subTenths = 100;
    return fonts;
}

int MainDlg::ProgressPercent(uint32_t done, uint32_t total)
{
    // A package without a size never reaches the display; should one come, the bar
    // stays at 0 rather than taking an infinite quotient.
    if (total == 0) return 0;
    return static_cast<int>(static_cast<double>(done) * 100.0 / static_cast<double>(total) + 0.5);
}

bool MainDlg::OnInitDialog()
{
    m_bAskOnClose = true;
    ModalDialog::OnInitDialog();
    View().SetInstanceMark(m_host.InstanceKey(), true);
    View().SetTitle(m_host.AppName());
    View().SetFonts(FontsFor(m_host.Language()));
    View().SetProgressPosition(0);
    SetMarquee(true);
    View().ShowProgressBar(true);
    View().SetButtonText(m_host.GetText(XP_T("Button/Cancel")));
    EnableButton(true);
    View().Show(DialogShow::Normal);
    PostMessage(WM_STAGE_BEGIN);
    return false;
}

void MainDlg::SetMarquee(bool on)
{
    if (!on && !m_bMarquee) return;
    m_bMarquee = on;
    View().SetMarquee(on);
}

void MainDlg::SetText(DialogText which, const XpChar* key)
{
    View().SetText(which, m_host.GetText(key));
}

void MainDlg::StartStage(Stage stage)
{
    if (m_host.StartStage(stage, this)) return;
    // No thread: say so, or the dialog would wait for a message that never comes (at the
    // installation with Close grayed and the button disabled).
    if (stage == Stage::Install)
        PostMessage(WM_INSTALL_DONE, kInstallRunFailed, 0);
    else
        PostMessage(WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 0);
}

void MainDlg::ShowProgress(uint32_t done, uint32_t total)
{
    if (!m_bUnitFetched) {
        m_strUnit = m_host.GetText(XP_T("StaticText/Progress/MB"));
        m_bUnitFetched = true;
    }
    const int percent = ProgressPercent(done, total);
    View().SetProgressPosition(percent * 100);
    XpString text;
    text.Format(XP_T("%3d %%\t(%5.1f / %5.1f %s)"), percent, done / 1048576.0, total / 1048576.0,
                m_strUnit.GetString());
    View().SetText(DialogText::Progress, text);
    PumpPendingMessages();
}

void MainDlg::ShowError(uint32_t code, intptr_t detail)
{
    m_bAskOnClose = false;
    View().ShowProgressBar(false);
    SetMarquee(false);
    View().SetText(DialogText::Progress, XpString());
    View().SetButtonText(m_host.GetText(XP_T("Button/End")));
    const XpChar* mainKey = XP_T("StaticText/Main/UnknownError");
    const XpChar* subKey = nullptr;
    bool unknown = false;
    switch (code) {
        case RC_NOT_TARGET_OS:
            mainKey = XP_T("StaticText/Main/NotTargetOS");
            subKey = XP_T("StaticText/Sub/NotTargetOS");
            break;
        case RC_NOT_ADMINISTRATOR:
            mainKey = XP_T("StaticText/Main/NotAdministrator");
            break;
        case RC_HOST_NOT_FOUND:
            mainKey = XP_T("StaticText/Main/VimblyNotFound");
            subKey = XP_T("StaticText/Sub/VimblyNotFound");
            break;
        case RC_NETWORK_ERROR:
            mainKey = XP_T("StaticText/Main/NetworkError");
            subKey = XP_T("StaticText/Sub/NetworkError");
            break;
        case RC_UPDATER_NOT_FOUND:
            mainKey = XP_T("StaticText/Main/UpdaterNotFound");
            break;
        default:
            unknown = true;
            break;
    }
    SetText(DialogText::Main, mainKey);
    XpString sub;
    if (subKey != nullptr) {
        sub = m_host.GetText(subKey);
    } else if (unknown && Diagnostic()) {
        sub.Format(XP_T("Error Code = %u"), static_cast<uint32_t>(detail));
    }
    View().SetText(DialogText::Sub, sub);
}

void MainDlg::EndInstallation(uintptr_t runStatus, intptr_t exitCode)
{
    View().SetText(DialogText::Main, XpString(XP_T("The installation has ended.")));
    XpString sub;
    sub.Format(XP_T("Return\t\t= %d\nExitCode\t= 0x%08lx"), static_cast<int32_t>(runStatus),
               static_cast<uint32_t>(exitCode));
    View().SetText(DialogText::Sub, sub);
    View().SetText(DialogText::Progress, XpString());
    View().ShowProgressBar(false);
    SetMarquee(false);
    if (Diagnostic()) return;
    if (static_cast<uint32_t>(runStatus) != 0)
        EndDialog(RC_UNKNOWN_ERROR);
    else if (static_cast<uint32_t>(exitCode) != 0)
        EndDialog(RC_INSTALLER_FAILED);
    else
        EndDialog(RC_INSTALLED);
}

void MainDlg::OnCancel()
{
    if (m_host.IsInMessageBox()) return;
    if (m_bAskOnClose) {
        // The worker pauses at its next safe point; stage messages that arrive while the
        // question is open wait, so that nothing moves on behind the user's back.
        m_host.PauseStage();
        m_bQuestionOpen = true;
        const int answer = m_host.MessageBox(m_host.GetText(XP_T("Message/Question/Close")),
                                             DialogBox::kYesNo | DialogBox::kIconQuestion);
        m_bQuestionOpen = false;
        if (answer != DialogBox::kIdYes) {
            m_host.ResumeStage();
            ReleaseHeldMessages();
            return;
        }
        // The flag goes up before the dialog ends: every stage message still queued is
        // discarded and no further stage starts. The worker stays paused until OnDestroy.
        m_host.RequestAbort();
        m_held.clear();
    }
    m_bAskOnClose = false;
    View().Show(DialogShow::Hide);
    EndDialog(IDCANCEL);
}

void MainDlg::ReleaseHeldMessages()
{
    // A handler below may pump and so meet new stage messages; they join the end of the
    // held ones, and this one loop hands them all on in the order they came.
    if (m_bReleasing) return;
    m_bReleasing = true;
    while (!m_held.empty() && !IsEnded() && !m_bQuestionOpen) {
        const DialogMessage message = m_held.front();
        m_held.pop_front();
        FilterAndDispatch(message);
    }
    m_bReleasing = false;
}

bool MainDlg::OnWndMsg(const DialogMessage& message)
{
    if (!m_bRunningFetched) {
        m_strRunning = m_host.GetText(XP_T("StaticText/Sub/VimblyRunning"));
        m_bRunningFetched = true;
    }
    if (IsStageMessage(message.message) && (m_bQuestionOpen || m_bReleasing) && !m_host.IsAbortRequested()) {
        m_held.push_back(message);
        return true;
    }
    return FilterAndDispatch(message);
}

bool MainDlg::FilterAndDispatch(const DialogMessage& message)
{
    // Both filters look at the stage messages only: a registered message of the window
    // system, numbered above them, must not wipe the sub text.
    const uint32_t id = message.message;
    if (id > WM_STAGE_FAILED && id <= WM_INSTALL_DONE && m_host.IsAbortRequested()) return false;
    if (id > WM_PRECHECK_DONE && id <= WM_INSTALL_DONE)
        View().SetText(DialogText::Sub, m_host.IsHostProductRunning() ? m_strRunning : XpString());
    return Dispatch(message);
}

bool MainDlg::OnMessage(const DialogMessage& message)
{
    const uint32_t done = static_cast<uint32_t>(message.wParam);
    const uint32_t total = static_cast<uint32_t>(message.lParam);
    switch (message.message) {
        case WM_STAGE_FAILED:
            ShowError(static_cast<uint32_t>(message.wParam), message.lParam);
            return true;
        case WM_STAGE_BEGIN:
            PumpPendingMessages();
            PostMessage(WM_PRECHECK_START);
            return true;
        case WM_PRECHECK_START:
            SetText(DialogText::Main, XP_T("StaticText/Main/Verify"));
            StartStage(Stage::PreCheck);
            return true;
        case WM_PRECHECK_DONE:
            PostMessage(WM_CHECK_START);
            return true;
        case WM_CHECK_START:
            SetText(DialogText::Main, XP_T("StaticText/Main/Verify"));
            StartStage(Stage::UpdateCheck);
            return true;
        case WM_CHECK_DONE:
            PostMessage(WM_DOWNLOAD_START);
            return true;
        case WM_DOWNLOAD_START:
            StartStage(Stage::Download);
            return true;
        case WM_DOWNLOAD_BEGUN:
            SetMarquee(false);
            SetText(DialogText::Main, XP_T("StaticText/Main/Downloading"));
            ShowProgress(done, total);
            return true;
        case WM_DOWNLOAD_PROGRESS:
            ShowProgress(done, total);
            return true;
        case WM_DOWNLOAD_DONE:
            ShowProgress(done, total);
            PostMessage(WM_VERIFY_START);
            return true;
        case WM_VERIFY_START:
            StartStage(Stage::Verify);
            return true;
        case WM_VERIFY_BEGUN:
            SetText(DialogText::Main, XP_T("StaticText/Main/Preparing"));
            View().SetText(DialogText::Progress, XpString());
            SetMarquee(true);
            return true;
        case WM_VERIFY_DONE:
            PostMessage(WM_INSTALL_START);
            return true;
        case WM_INSTALL_START:
            m_bAskOnClose = false;
            EnableClose(false);
            EnableButton(Diagnostic());
            StartStage(Stage::Install);
            return true;
        case WM_INSTALL_BEGUN:
            View().SetInstanceMark(m_host.InstanceKey(), false);
            View().Show(Diagnostic() ? DialogShow::Minimize : DialogShow::Hide);
            View().SetButtonText(m_host.GetText(XP_T("Button/End")));
            View().SetText(DialogText::Main, XpString(XP_T("The installation has started...")));
            return true;
        case WM_INSTALL_DONE:
            EndInstallation(message.wParam, message.lParam);
            return true;
        default:
            return false;
    }
}

void MainDlg::OnDestroy()
{
    m_held.clear();
    m_host.StopStage();
    View().SetInstanceMark(m_host.InstanceKey(), false);
}
