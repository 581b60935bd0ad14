// The dialog with a host of the test's own: stages that cannot start, the host-product
// notice, and which messages the pre-dispatch filters touch.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/HeadlessView.h"
#include "ui/MainDlg.h"

namespace {

// Starts no thread: each start is recorded and answered as the test says.
class ScriptHost : public MainDlgHost {
public:
    XpString GetText(const XpChar* key) override { return XpString(XP_T("T:")) + XpString(key); }
    XpString AppName() override { return XpString(XP_T("Vimbly Updater")); }
    XpString InstanceKey() override { return XpString(XP_T("Vimbly_Kestrow")); }
    XpString Language() override { return XpString(XP_T("US")); }
    uint32_t TestFlags() override { return 0; }
    bool IsHostProductRunning() override { return running; }
    int MessageBox(const XpString&, uint32_t) override { return answer; }
    bool IsInMessageBox() override { return false; }
    bool StartStage(Stage stage, void* dialog) override
    {
        started.push_back(stage);
        return onStart ? onStart(stage, static_cast<ModalDialog*>(dialog)) : false;
    }
    void PauseStage() override {}
    void ResumeStage() override {}
    void RequestAbort() override { abort = true; }
    void StopStage() override { abort = true; }
    bool IsAbortRequested() override { return abort; }

    bool running = false;
    int answer = DialogBox::kIdNo;
    bool abort = false;
    std::vector<Stage> started;
    std::function<bool(Stage, ModalDialog*)> onStart;
};

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

TEST(MainDlgStageStart, AStageThatCannotStartIsReportedAndTheDialogCanBeClosed)
{
    // A stage other than the installation: its error screen, closed without a question.
    {
        HeadlessView view;
        ScriptHost host;
        std::thread user;
        host.onStart = [&](Stage, ModalDialog* dialog) {
            // The user presses End a little later, once the error screen shows.
            user = std::thread([dialog] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                dialog->PostMessage(WM_COMMAND, IDCANCEL);
            });
            return false;
        };
        MainDlg dialog(view, host);
        EXPECT_EQ(dialog.DoModal(), static_cast<intptr_t>(IDCANCEL));
        user.join();
        EXPECT_EQ(Narrow(view.m_main), "T:StaticText/Main/UnknownError");
        EXPECT_TRUE(view.m_boxes.empty());
    }
    // The installation: it ends as a failed installer run, not with a dialog that
    // can no longer be closed.
    {
        HeadlessView view;
        ScriptHost host;
        host.onStart = [](Stage stage, ModalDialog* dialog) {
            if (stage == Stage::Install) return false;
            static const uint32_t next[] = {WM_PRECHECK_DONE, WM_CHECK_DONE, WM_DOWNLOAD_DONE, WM_VERIFY_DONE};
            dialog->PostMessage(next[static_cast<int>(stage)], 1, 1);
            return true;
        };
        MainDlg dialog(view, host);
        EXPECT_EQ(dialog.DoModal(), static_cast<intptr_t>(RC_UNKNOWN_ERROR));
        EXPECT_EQ(host.started.size(), 5u);
    }
}

TEST(MainDlgFilters, TheRunningNoticeFollowsTheHostProductOnStageMessagesOnly)
{
    HeadlessView view;
    ScriptHost host;
    std::vector<std::string> subs;
    host.onStart = [&](Stage stage, ModalDialog* dialog) {
        subs.push_back(Narrow(view.m_sub));
        if (stage == Stage::PreCheck) {
            host.running = true;
            dialog->PostMessage(WM_PRECHECK_DONE);
        } else if (stage == Stage::UpdateCheck) {
            host.running = false;
            dialog->PostMessage(WM_CHECK_DONE);
        } else {
            host.running = true;
            dialog->PostMessage(WM_STAGE_FAILED, RC_HOST_NOT_FOUND, 0);
            dialog->PostMessage(0xC123);  // a registered message of the window system
            dialog->PostMessage(WM_COMMAND, IDCANCEL);
        }
        return true;
    };
    MainDlg dialog(view, host);
    EXPECT_EQ(dialog.DoModal(), static_cast<intptr_t>(IDCANCEL));
    // Pre-check: nothing yet; update check: the notice; download: cleared again.
    const std::vector<std::string> expected = {"", "T:StaticText/Sub/VimblyRunning", ""};
    EXPECT_EQ(subs, expected);
    // The error screen's sub text outlives the message above the stage messages.
    EXPECT_EQ(Narrow(view.m_sub), "T:StaticText/Sub/VimblyNotFound");
}

TEST(MainDlgFilters, StageMessagesAfterTheAbortFlagAreDiscarded)
{
    HeadlessView view;
    ScriptHost host;
    host.answer = DialogBox::kIdYes;
    host.onStart = [&](Stage, ModalDialog* dialog) {
        host.abort = true;  // a stopping worker's late messages
        dialog->PostMessage(WM_PRECHECK_DONE);
        dialog->PostMessage(WM_DOWNLOAD_BEGUN, 0, 100);
        dialog->PostMessage(WM_INSTALL_DONE, 0, 0);
        dialog->PostMessage(WM_COMMAND, IDCANCEL);
        return true;
    };
    MainDlg dialog(view, host);
    EXPECT_EQ(dialog.DoModal(), static_cast<intptr_t>(IDCANCEL));
    EXPECT_EQ(host.started.size(), 1u);
    EXPECT_TRUE(view.m_progressHistory.empty());
    EXPECT_EQ(Narrow(view.m_main), "T:StaticText/Main/Verify");
}

}  // namespace
