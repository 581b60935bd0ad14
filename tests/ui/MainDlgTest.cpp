// The stage machine through the headless view: the real application object, dialog and
// stage thread manager, with test procedures for the stages and a test source of texts
// that answers every key with the key path itself.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "app/KestrowApp.h"
#include "ui/HeadlessView.h"
#include "ui/MainDlg.h"

namespace {

using namespace std::chrono_literals;

// Every key path answers itself; "ApplicationName" answers the program's name.
class EchoStrings : public AppStrings {
public:
    XpResult Load(const std::vector<XpString>&) override { return XpRc::Ok; }
    XpString Get(const XpChar* keyPath) override
    {
        const XpString path(keyPath);
        if (path == XpString(XP_T("US/ApplicationName"))) return XpString(kApplicationName);
        return XpString(XP_T("T:")) + path;
    }
    void Release() override {}
};

std::function<void(void*)> g_script[5];
template <int N>
uint32_t ScriptProc(void* dialog)
{
    if (dialog == nullptr) return 0xFFFFFFFF;
    if (g_script[N]) g_script[N](dialog);
    return 0;
}

std::string Narrow(const XpString& text)
{
    return text.ToNarrow().GetString();
}

void Post(void* dialog, uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0)
{
    PostStageMessage(dialog, message, wParam, lParam);
}
void PressButton(void* dialog)
{
    static_cast<ModalDialog*>(dialog)->PostMessage(WM_COMMAND, IDCANCEL, 0);
}

class MainDlgTest : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
#if !defined(_WIN32)
        m_env.Set("KESTROW_MUTEX_DIR", Native("locks").string());
        m_env.Set("TMPDIR", Native("tmp").string());
        MakeDir("locks");
        MakeDir("tmp");
#endif
        for (auto& script : g_script) script = nullptr;
        g_script[0] = [](void* d) { Post(d, WM_PRECHECK_DONE); };
        g_script[1] = [](void* d) { Post(d, WM_CHECK_DONE); };
        MakeApp();
    }
    // A fresh application (and instance mutex) for each run, as each process has one.
    void MakeApp(uint32_t testFlags = 0, HeadlessView* view = nullptr)
    {
        m_app.reset();
        m_mutex.reset();
        m_mutex = std::make_unique<NamedMutex>(
            XpString(XpString(XP_T("Local\\kestrow-test-")) + ToXp(kestrow_test::RandomTag())).GetString());
        m_app = std::make_unique<KestrowApp>(*m_mutex, m_strings);
        m_app->SetView(view != nullptr ? view : &m_view);
        m_app->m_dwTestFlags = testFlags;
        m_app->SetArguments({XpString(kInstanceKey)});
        m_app->SetStageProcedure(Stage::PreCheck, &ScriptProc<0>);
        m_app->SetStageProcedure(Stage::UpdateCheck, &ScriptProc<1>);
        m_app->SetStageProcedure(Stage::Download, &ScriptProc<2>);
        m_app->SetStageProcedure(Stage::Verify, &ScriptProc<3>);
        m_app->SetStageProcedure(Stage::Install, &ScriptProc<4>);
        // The program starts with the flag down; a dialog of an earlier test left it up.
        g_threadManager.m_bAbort = false;
    }
    void TearDown() override
    {
        m_app.reset();
        m_mutex.reset();
        for (auto& script : g_script) script = nullptr;
        TempFolderTest::TearDown();
    }
    static XpString ToXp(const std::string& text)
    {
        return XpNarrowString(text.c_str()).ToWide();
    }

    intptr_t RunDialog()
    {
        EXPECT_EQ(m_app->Run(), 0);
        EXPECT_FALSE(g_threadManager.IsRunning());  // no worker outlives the dialog
        return m_app->DialogResult();
    }
    void ScriptDownloadAndVerify()
    {
        g_script[2] = [](void* d) {
            Post(d, WM_DOWNLOAD_BEGUN, 0, 10485760);
            Post(d, WM_DOWNLOAD_PROGRESS, 524288, 10485760);
            Post(d, WM_DOWNLOAD_DONE, 10485760, 10485760);
        };
        g_script[3] = [](void* d) {
            Post(d, WM_VERIFY_BEGUN);
            Post(d, WM_VERIFY_DONE);
        };
    }

#if !defined(_WIN32)
    kestrow_test::ScopedEnvironment m_env;
#endif
    EchoStrings m_strings;
    HeadlessView m_view;
    std::unique_ptr<NamedMutex> m_mutex;
    std::unique_ptr<KestrowApp> m_app;
};

TEST_F(MainDlgTest, ASuccessfulUpdateWalksEveryStageAndEndsInstalled)
{
    ScriptDownloadAndVerify();
    g_script[4] = [](void* d) {
        Post(d, WM_INSTALL_BEGUN);
        Post(d, WM_INSTALL_DONE, 0, 0);
    };
    EXPECT_EQ(RunDialog(), static_cast<intptr_t>(RC_INSTALLED));
    EXPECT_EQ(Narrow(m_view.m_title), "Vimbly Updater");
    EXPECT_EQ(Narrow(m_view.m_fonts.face), "Arial Unicode MS");
    const std::vector<std::string> mains = {"T:US/StaticText/Main/Verify",      "T:US/StaticText/Main/Verify",
                                            "T:US/StaticText/Main/Downloading", "T:US/StaticText/Main/Preparing",
                                            "The installation has started...",  "The installation has ended."};
    std::vector<std::string> shown;
    for (const XpString& text : m_view.m_mainHistory) shown.push_back(Narrow(text));
    EXPECT_EQ(shown, mains);
    // 0, the example (5 %, 0.5 of 10.0 MB) and the total, right-aligned.
    ASSERT_GE(m_view.m_progressHistory.size(), 3u);
    EXPECT_EQ(Narrow(m_view.m_progressHistory[0]), "  0 %\t(  0.0 /  10.0 T:US/StaticText/Progress/MB)");
    EXPECT_EQ(Narrow(m_view.m_progressHistory[1]), "  5 %\t(  0.5 /  10.0 T:US/StaticText/Progress/MB)");
    EXPECT_EQ(Narrow(m_view.m_progressHistory[2]), "100 %\t( 10.0 /  10.0 T:US/StaticText/Progress/MB)");
    EXPECT_EQ(Narrow(m_view.m_sub), "Return\t\t= 0\nExitCode\t= 0x00000000");
    EXPECT_EQ(Narrow(m_view.m_button), "T:US/Button/End");
    EXPECT_FALSE(m_view.m_buttonEnabled);
    EXPECT_FALSE(m_view.m_closeEnabled);
    EXPECT_EQ(m_view.m_show, DialogShow::Hide);
    EXPECT_TRUE(m_view.m_mark.IsEmpty());
    EXPECT_FALSE(m_view.m_barVisible);
    EXPECT_FALSE(m_view.m_marquee);
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(MainDlgTest, TheInstallerResultDecidesTheDialogResult)
{
    struct Case {
        uintptr_t run;
        intptr_t exitCode;
        intptr_t result;
    };
    for (const Case c : {Case{0, 3010, RC_INSTALLER_FAILED}, Case{kInstallRunFailed, 0, RC_UNKNOWN_ERROR},
                         Case{kInstallRunFailed, 5, RC_UNKNOWN_ERROR}}) {
        SCOPED_TRACE(c.exitCode);
        MakeApp();
        ScriptDownloadAndVerify();
        static Case current;
        current = c;
        g_script[4] = [](void* d) { Post(d, WM_INSTALL_DONE, current.run, current.exitCode); };
        EXPECT_EQ(RunDialog(), c.result);
    }
}

TEST_F(MainDlgTest, TestBitFourKeepsTheResultOnScreenUntilTheUserCloses)
{
    MakeApp(4);
    ScriptDownloadAndVerify();
    g_script[4] = [](void* d) {
        Post(d, WM_INSTALL_BEGUN);
        Post(d, WM_INSTALL_DONE, 0, 3010);
        PressButton(d);
    };
    EXPECT_EQ(RunDialog(), static_cast<intptr_t>(IDCANCEL));
    EXPECT_EQ(Narrow(m_view.m_main), "The installation has ended.");
    EXPECT_EQ(Narrow(m_view.m_sub), "Return\t\t= 0\nExitCode\t= 0x00000bc2");
    EXPECT_TRUE(m_view.m_buttonEnabled);
    EXPECT_FALSE(m_view.m_closeEnabled);
    EXPECT_TRUE(m_view.m_boxes.empty());  // no question once the installation began
}

TEST_F(MainDlgTest, EveryResultCodeHasItsErrorScreen)
{
    struct Case {
        uint32_t code;
        const char* main;
        const char* sub;
        const char* subDiagnostic;
    };
    const Case cases[] = {
        {RC_NOT_TARGET_OS, "NotTargetOS", "T:US/StaticText/Sub/NotTargetOS", "T:US/StaticText/Sub/NotTargetOS"},
        {RC_NOT_ADMINISTRATOR, "NotAdministrator", "", ""},
        {RC_HOST_NOT_FOUND, "VimblyNotFound", "T:US/StaticText/Sub/VimblyNotFound",
         "T:US/StaticText/Sub/VimblyNotFound"},
        {RC_NETWORK_ERROR, "NetworkError", "T:US/StaticText/Sub/NetworkError", "T:US/StaticText/Sub/NetworkError"},
        {RC_UPDATER_NOT_FOUND, "UpdaterNotFound", "", ""},
        {RC_UNKNOWN_ERROR, "UnknownError", "", "Error Code = 404"},
        {0x9000, "UnknownError", "", "Error Code = 404"},
    };
    for (const uint32_t flags : {0u, 4u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::to_string(c.code) + " flags " + std::to_string(flags));
            HeadlessView view;
            MakeApp(flags, &view);
            static uint32_t code;
            code = c.code;
            g_script[1] = [](void* d) {
                Post(d, WM_STAGE_FAILED, code, 404);
                PressButton(d);  // End: no question
            };
            EXPECT_EQ(RunDialog(), static_cast<intptr_t>(IDCANCEL));
            EXPECT_EQ(Narrow(view.m_main), std::string("T:US/StaticText/Main/") + c.main);
            EXPECT_EQ(Narrow(view.m_sub), flags ? c.subDiagnostic : c.sub);
            EXPECT_EQ(Narrow(view.m_button), "T:US/Button/End");
            EXPECT_TRUE(view.m_progress.IsEmpty());
            EXPECT_FALSE(view.m_barVisible);
            EXPECT_FALSE(view.m_marquee);
            EXPECT_TRUE(view.m_boxes.empty());
        }
    }
}

// Cancel in each stage that the user can cancel: the question pauses the stage; Yes ends
// the dialog with IDCANCEL before any later stage starts, No lets the update go on to its
// end. The installation itself has no question (its button is disabled).
std::atomic<int> g_stagesStarted{0};
std::atomic<bool> g_asked{false};

TEST_F(MainDlgTest, CancelInEachStageAsksAndYesEndsItWhileNoLetsTheUpdateGoOn)
{
    static const std::function<void(void*)> kDone[4] = {[](void* d) { Post(d, WM_PRECHECK_DONE); },
                                                        [](void* d) { Post(d, WM_CHECK_DONE); },
                                                        [](void* d) {
                                                            Post(d, WM_DOWNLOAD_BEGUN, 0, 100);
                                                            Post(d, WM_DOWNLOAD_DONE, 100, 100);
                                                        },
                                                        [](void* d) {
                                                            Post(d, WM_VERIFY_BEGUN);
                                                            Post(d, WM_VERIFY_DONE);
                                                        }};
    static int cancelled;
    for (cancelled = 0; cancelled < 4; ++cancelled) {
        for (const bool yes : {true, false}) {
            SCOPED_TRACE(std::to_string(cancelled) + (yes ? " Yes" : " No"));
            MakeApp();
            g_stagesStarted = 0;
            g_asked = false;
            for (int stage = 0; stage < 4; ++stage) {
                g_script[stage] = [stage](void* d) {
                    ++g_stagesStarted;
                    if (stage == cancelled) {
                        // The button, or the title bar's close button: both ask the same.
                        if (stage % 2 == 0)
                            PressButton(d);
                        else
                            static_cast<ModalDialog*>(d)->PostMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
                        for (int i = 0; i < 1000 && !g_asked; ++i) std::this_thread::sleep_for(1ms);
                        // Held here while the question is open; true after Yes.
                        if (g_threadManager.CheckAbort()) return;
                    }
                    kDone[stage](d);
                };
            }
            g_script[4] = [](void* d) {
                ++g_stagesStarted;
                PressButton(d);  // disabled during the installation: no question
                Post(d, WM_INSTALL_BEGUN);
                Post(d, WM_INSTALL_DONE, 0, 0);
            };
            int questions = 0;
            m_view.SetAnswer([&](const XpString& text, uint32_t) {
                EXPECT_EQ(Narrow(text), "T:US/Message/Question/Close");
                ++questions;
                g_asked = true;
                return yes ? DialogBox::kIdYes : DialogBox::kIdNo;
            });
            const intptr_t result = RunDialog();
            EXPECT_EQ(questions, 1);
            if (yes) {
                EXPECT_EQ(result, static_cast<intptr_t>(IDCANCEL));
                EXPECT_EQ(g_stagesStarted.load(), cancelled + 1);  // nothing after the cancelled stage
            } else {
                EXPECT_EQ(result, static_cast<intptr_t>(RC_INSTALLED));
                EXPECT_EQ(g_stagesStarted.load(), 5);
            }
            m_view.m_boxes.clear();
        }
    }
}

std::atomic<int> g_progressPosts{0};

TEST_F(MainDlgTest, TheCloseQuestionPausesTheWorkerHoldsItsMessagesAndNoLetsItGoOn)
{
    g_progressPosts = 0;
    g_script[2] = [](void* d) {
        Post(d, WM_DOWNLOAD_BEGUN, 0, 1000000);
        PressButton(d);  // the user asks to close while the download runs
        for (uint32_t done = 1; !g_threadManager.CheckAbort(); ++done) {
            Post(d, WM_DOWNLOAD_PROGRESS, done % 1000000, 1000000);
            ++g_progressPosts;
            std::this_thread::sleep_for(1ms);
            if (done == 400) PressButton(d);  // and asks again later
        }
    };
    int questions = 0;
    size_t progressAtYes = 0;
    m_view.SetAnswer([&](const XpString& text, uint32_t style) {
        EXPECT_EQ(Narrow(text), "T:US/Message/Question/Close");
        EXPECT_EQ(style, DialogBox::kYesNo | DialogBox::kIconQuestion);
        // A real message box keeps the dialog's messages flowing: pump them, and see that
        // neither the worker nor the display moves on while the question is open.
        const int before = g_progressPosts;
        const size_t shown = m_view.m_progressHistory.size();
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(10ms);
            m_view.Dialog()->PumpPendingMessages();
        }
        EXPECT_LE(g_progressPosts - before, 1);
        EXPECT_EQ(m_view.m_progressHistory.size(), shown);
        EXPECT_TRUE(m_app->m_bInMessageBox);
        if (++questions == 1) return DialogBox::kIdNo;
        progressAtYes = m_view.m_progressHistory.size();
        return DialogBox::kIdYes;
    });
    EXPECT_EQ(RunDialog(), static_cast<intptr_t>(IDCANCEL));
    EXPECT_EQ(questions, 2);
    EXPECT_GE(g_progressPosts, 400);                            // it went on after No
    EXPECT_EQ(m_view.m_progressHistory.size(), progressAtYes);  // nothing shown after Yes
    EXPECT_EQ(m_view.m_show, DialogShow::Hide);
    EXPECT_TRUE(g_threadManager.m_bAbort.load());
}

TEST_F(MainDlgTest, HeldStageMessagesDoNotStartTheNextStageBeforeTheAnswer)
{
    std::atomic<bool> verifyStarted{false};
    static std::atomic<bool>* started;
    started = &verifyStarted;
    g_script[2] = [](void* d) {
        PressButton(d);
        // Posted before the pause can take effect: the dialog must still hold it back.
        static_cast<ModalDialog*>(d)->PostMessage(WM_DOWNLOAD_DONE, 10, 10);
    };
    g_script[3] = [](void* d) {
        started->store(true);
        Post(d, WM_STAGE_FAILED, RC_NETWORK_ERROR, 0);
        PressButton(d);
    };
    m_view.SetAnswer([&](const XpString&, uint32_t) {
        for (int i = 0; i < 5; ++i) {
            m_view.Dialog()->PumpPendingMessages();
            std::this_thread::sleep_for(10ms);  // time for a wrongly started stage to show
        }
        EXPECT_FALSE(verifyStarted.load());
        return DialogBox::kIdNo;
    });
    EXPECT_EQ(RunDialog(), static_cast<intptr_t>(IDCANCEL));
    EXPECT_TRUE(verifyStarted.load());  // after No, in order
    EXPECT_EQ(Narrow(m_view.m_main), "T:US/StaticText/Main/NetworkError");
}

TEST(MainDlgFonts, OnlyExactlyJpSelectsTheJapaneseFace)
{
    EXPECT_EQ(MainDlg::FontsFor(XpString(XP_T("JP"))).face.ToNarrow().GetString(), std::string("MS UI Gothic"));
    EXPECT_EQ(MainDlg::FontsFor(XpString(XP_T("jp"))).face.ToNarrow().GetString(), std::string("Arial Unicode MS"));
    const DialogFonts fonts = MainDlg::FontsFor(XpString(XP_T("US")));
    EXPECT_EQ(fonts.mainTenths, 110);
    EXPECT_EQ(fonts.mainWeight, 700);
    EXPECT_EQ(fonts.subTenths, 100);
    EXPECT_EQ(MainDlg::ProgressPercent(0, 7), 0);
    EXPECT_EQ(MainDlg::ProgressPercent(0xFFFFFFFF, 0xFFFFFFFF), 100);
    EXPECT_EQ(MainDlg::ProgressPercent(1, 0), 0);
}

}  // namespace
