// The terminal view in a run without input: what it prints, and that the run ends by
// itself at the error screen.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "TestSupport.h"
#include "ui/MainDlg.h"
#include "ui/TerminalView.h"

namespace {

class FailingHost : public MainDlgHost {
public:
    XpString GetText(const XpChar* key) override { return XpString(key); }
    XpString AppName() override { return XpString(XP_T("Vimbly Updater")); }
    XpString InstanceKey() override { return XpString(XP_T("Vimbly_Kestrow")); }
    XpString Language() override { return XpString(XP_T("US")); }
    uint32_t TestFlags() override { return 0; }
    bool IsHostProductRunning() override { return false; }
    int MessageBox(const XpString& prompt, uint32_t style) override
    {
        return view->MessageBox(prompt, AppName(), style);
    }
    bool IsInMessageBox() override { return false; }
    bool StartStage(Stage stage, void* dialog) override
    {
        auto* d = static_cast<ModalDialog*>(dialog);
        if (stage == Stage::PreCheck) {
            d->PostMessage(WM_COMMAND, IDCANCEL);  // a press while the question applies
            d->PostMessage(WM_PRECHECK_DONE);
        } else {
            d->PostMessage(WM_STAGE_FAILED, RC_NETWORK_ERROR);
        }
        return true;
    }
    void PauseStage() override {}
    void ResumeStage() override {}
    void RequestAbort() override {}
    void StopStage() override {}
    bool IsAbortRequested() override { return false; }
    DialogView* view = nullptr;
};

TEST(TerminalView, ARunWithoutInputPrintsEachChangeAnswersNoAndEndsAtTheErrorScreen)
{
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("kestrow-terminal-" + kestrow_test::RandomTag() + ".txt");
    std::FILE* out = std::fopen(file.string().c_str(), "w+");
    ASSERT_NE(out, nullptr);
    TerminalView view(out, false);
    FailingHost host;
    host.view = &view;
    MainDlg dialog(view, host);
    EXPECT_EQ(dialog.DoModal(), static_cast<intptr_t>(IDCANCEL));
    std::rewind(out);
    std::string printed;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, out) != nullptr) printed += buffer;
    std::fclose(out);
    std::filesystem::remove(file);
    EXPECT_EQ(printed,
              "title: Vimbly Updater\n"
              "button: [Button/Cancel]\n"
              "window: shown\n"
              "main: StaticText/Main/Verify\n"
              "Vimbly Updater: Message/Question/Close [y/N]\n"
              "answer: No (no input)\n"
              "button: [Button/End]\n"
              "main: StaticText/Main/NetworkError\n"
              "sub: StaticText/Sub/NetworkError\n"
              "window: hidden\n");
}

}  // namespace
