// The Win32 dialog view under Wine, on a display that the tests start: the real dialog
// from template 102 run by the application object and the stage machine with test stage
// procedures and the shipped string file, looked at from outside through the window
// system, as a person sees it.

#if defined(_WIN32)

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "WineDisplaySupport.h"
#include "app/KestrowApp.h"
#include "app/NamedMutex.h"
#include "app/ThreadManager.h"
#include "ui/DialogMessages.h"
#include "ui/WindowView.h"

// windows.h comes after the project's headers: its macros would rename their constants.
#include <windows.h>
// commctrl.h needs the types of windows.h.
#include <commctrl.h>

namespace {

using namespace std::chrono_literals;
using kestrow_test::WaitForText;
using kestrow_test::WindowText;
using kestrow_test::WineDisplay;

std::atomic<bool> g_release{false};
// Set by the test once it has found the dialog, so that a quick run of stages cannot hide
// the dialog and remove its mark before the test has seen it.
std::atomic<bool> g_dialogFound{false};
std::atomic<int> g_failureCode{0};

uint32_t PassPreCheck(void* dialog)
{
    PostStageMessage(dialog, WM_PRECHECK_DONE);
    return 0;
}
uint32_t PassUpdateCheck(void* dialog)
{
    PostStageMessage(dialog, g_failureCode != 0 ? WM_STAGE_FAILED : WM_CHECK_DONE, g_failureCode, 0);
    return 0;
}
// 5 % of 10 MB, then, once the test lets it, 50 %; then it waits for the abort.
uint32_t DownloadHalfway(void* dialog)
{
    PostStageMessage(dialog, WM_DOWNLOAD_BEGUN, 0, 10485760);
    PostStageMessage(dialog, WM_DOWNLOAD_PROGRESS, 524288, 10485760);
    while (!g_release && !g_threadManager.CheckAbort()) std::this_thread::sleep_for(5ms);
    PostStageMessage(dialog, WM_DOWNLOAD_PROGRESS, 5242880, 10485760);
    while (!g_threadManager.CheckAbort()) std::this_thread::sleep_for(5ms);
    return 0;
}

uint32_t DownloadAll(void* dialog)
{
    PostStageMessage(dialog, WM_DOWNLOAD_BEGUN, 0, 1048576);
    PostStageMessage(dialog, WM_DOWNLOAD_DONE, 1048576, 1048576);
    return 0;
}
uint32_t Verify(void* dialog)
{
    while (!g_dialogFound && !g_threadManager.CheckAbort()) std::this_thread::sleep_for(5ms);
    PostStageMessage(dialog, WM_VERIFY_BEGUN);
    PostStageMessage(dialog, WM_VERIFY_DONE);
    return 0;
}
// The installer's window shows; once the test lets it, the installer ends with 0.
uint32_t Install(void* dialog)
{
    PostStageMessage(dialog, WM_INSTALL_BEGUN);
    while (!g_release && !g_threadManager.CheckAbort()) std::this_thread::sleep_for(5ms);
    PostStageMessage(dialog, WM_INSTALL_DONE, 0, 0);
    return 0;
}

// The window tests of this file; each runs in a process of its own on a desktop of its
// own on the test display, with the dialog on a UI thread of its own.
class Win32DialogViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WineDisplay& display = WineDisplay::Get();
        if (!display.SkipReason().empty()) GTEST_SKIP() << display.SkipReason();
        if (!kestrow_test::IsWindowTestChild()) {
            m_desktop = display.NewDesktop();
            return;
        }
        m_desktop = kestrow_test::CurrentDesktop();
        g_release = false;
        g_dialogFound = false;
        g_failureCode = 0;
        g_threadManager.m_bAbort = false;
        m_mutex = std::make_unique<NamedMutex>((L"Local\\kestrow-view-test-" + m_desktop).c_str());
        // The shipped string file, beside the test program; its English texts.
        m_app = std::make_unique<KestrowApp>(*m_mutex, ProgramStrings());
        m_app->m_strLanguage = XpString(XP_T("US"));
        m_app->SetArguments({XpString(kInstanceKey)});
        m_app->SetStageProcedure(Stage::PreCheck, &PassPreCheck);
        m_app->SetStageProcedure(Stage::UpdateCheck, &PassUpdateCheck);
        m_app->SetStageProcedure(Stage::Download, &DownloadHalfway);
    }
    void TearDown() override
    {
        if (m_ui.joinable()) m_ui.join();
        m_app.reset();
        m_mutex.reset();
    }

    // In the test program's process: runs the test in a process of its own (true there).
    bool RunsHere()
    {
        return kestrow_test::IsWindowTestChild() || (kestrow_test::RunWindowTestInChild(m_desktop), false);
    }
    // Runs the application on a new UI thread; the dialog window.
    HWND StartDialog()
    {
        m_ui = std::thread([this] {
            // A new thread starts on the default desktop, not on the process's own.
            HDESK desktop = OpenDesktopW(m_desktop.c_str(), 0, FALSE, GENERIC_ALL);
            SetThreadDesktop(desktop);
            DialogView* view = CreateWindowView();
            m_madeView = view != nullptr;
            if (view != nullptr) {
                m_app->SetView(view);
                m_app->Run();
                m_app->SetView(nullptr);
                delete view;
            }
            m_finished = true;
            CloseDesktop(desktop);
        });
        HWND dialog = static_cast<HWND>(kestrow_test::FindMarkedWindow(m_desktop, kInstanceKey, 10000));
        g_dialogFound = true;
        return dialog;
    }
    bool WaitForEnd()
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!m_finished && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(10ms);
        return m_finished;
    }
    // Answers the message box that the dialog owns (IDYES, IDNO or IDOK) and gives its text.
    std::wstring AnswerBox(HWND dialog, int answer)
    {
        HWND box = static_cast<HWND>(kestrow_test::FindOwnedWindow(m_desktop, dialog, 10000));
        if (box == nullptr) return L"(no box)";
        std::wstring text;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM context) -> BOOL {
                wchar_t name[32] = {};
                GetClassNameW(child, name, 32);
                if (std::wcscmp(name, L"Static") == 0 && GetWindowTextLengthW(child) > 0)
                    *reinterpret_cast<std::wstring*>(context) += WindowText(child);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&text));
        EXPECT_FALSE(IsWindowEnabled(dialog));  // the box is modal to the dialog
        PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        return text;
    }

    std::wstring m_desktop;
    std::unique_ptr<NamedMutex> m_mutex;
    std::unique_ptr<KestrowApp> m_app;
    std::thread m_ui;
    std::atomic<bool> m_madeView{false};
    std::atomic<bool> m_finished{false};
};

// A place in dialog units in pixels, as the dialog manager makes a control: position and
// size each converted on their own.
RECT DialogUnits(HWND dialog, int x, int y, int width, int height)
{
    RECT units{x, y, width, height};
    MapDialogRect(dialog, &units);
    return RECT{units.left, units.top, units.left + units.right, units.top + units.bottom};
}

RECT PlaceInClient(HWND dialog, HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

LOGFONTW FontOf(HWND control)
{
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

TEST_F(Win32DialogViewTest, ShowsTheTemplateAndRunsTheDownloadThroughTheCloseQuestion)
{
    if (!RunsHere()) return;
    HWND dialog = StartDialog();
    ASSERT_TRUE(m_madeView);
    ASSERT_NE(dialog, nullptr);
    HWND progressText = GetDlgItem(dialog, 1004);
    ASSERT_TRUE(WaitForText(progressText, L"  5 %\t(  0.5 /  10.0 MB)", 10000))
        << "progress text: " << std::string(XpString(WindowText(progressText).c_str()).ToNarrow().GetString());

    // The window: a dialog of the template's styles, titled at run time, white, 318 x 138
    // dialog units.
    wchar_t className[32] = {};
    GetClassNameW(dialog, className, 32);
    EXPECT_STREQ(className, L"#32770");
    EXPECT_EQ(WindowText(dialog), L"Vimbly Updater");
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    const LONG expected = static_cast<LONG>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    EXPECT_EQ(style & expected, expected);
    EXPECT_NE(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_TRUE(SameRect(client, DialogUnits(dialog, 0, 0, 318, 138)));

    // The controls at their places in dialog units, in tab order from the button.
    const struct {
        int id, x, y, width, height;
        const wchar_t* className;
    } controls[] = {{2, 252, 114, 60, 18, L"Button"},
                    {1001, 6, 96, 306, 12, L"msctls_progress32"},
                    {1002, 12, 12, 294, 30, L"Static"},
                    {1003, 18, 42, 282, 48, L"Static"},
                    {1004, 6, 108, 234, 12, L"Static"}};
    HWND previous = nullptr;
    for (const auto& control : controls) {
        SCOPED_TRACE(control.id);
        HWND item = GetDlgItem(dialog, control.id);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(GetWindow(item, GW_HWNDPREV), previous);
        previous = item;
        GetClassNameW(item, className, 32);
        EXPECT_EQ(_wcsicmp(className, control.className), 0);
        EXPECT_TRUE(SameRect(PlaceInClient(dialog, item),
                             DialogUnits(dialog, control.x, control.y, control.width, control.height)));
    }

    // The download's display: marquee off, position 500 of 0..10000, the texts and fonts.
    HWND bar = GetDlgItem(dialog, 1001);
    EXPECT_EQ(GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE, 0);
    EXPECT_NE(GetWindowLongW(bar, GWL_STYLE) & PBS_SMOOTH, 0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 500);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 10000);
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1002)), L"Downloading the update...");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 2)), L"Cancel");
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const LOGFONTW mainFont = FontOf(GetDlgItem(dialog, 1002));
    EXPECT_STREQ(mainFont.lfFaceName, L"Arial Unicode MS");
    EXPECT_EQ(mainFont.lfWeight, 700);
    EXPECT_EQ(mainFont.lfHeight, -MulDiv(110, dpi, 720));
    const LOGFONTW subFont = FontOf(GetDlgItem(dialog, 1003));
    EXPECT_STREQ(subFont.lfFaceName, L"Arial Unicode MS");
    EXPECT_EQ(subFont.lfHeight, -MulDiv(100, dpi, 720));
    EXPECT_EQ(GetMenuState(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);

    // The picture for the documents: the dialog as it shows the download, in front.
    SetForegroundWindow(dialog);
    std::this_thread::sleep_for(200ms);
    RECT frame;
    GetWindowRect(dialog, &frame);
    const std::filesystem::path shot = std::filesystem::path(KESTROW_PROGRAM).parent_path().parent_path() / "tests" /
                                       "screenshots" / "win32-dialog.png";
    if (!WineDisplay::Get().Screenshot(shot, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top))
        ADD_FAILURE() << "no screenshot (ImageMagick's import is in tools/install-deps.sh)";

    // Cancel asks; "No" lets the download go on (the worker was paused, not stopped).
    PostMessageW(GetDlgItem(dialog, 2), BM_CLICK, 0, 0);
    EXPECT_EQ(AnswerBox(dialog, IDNO), L"Do you want to cancel the update?");
    g_release = true;
    EXPECT_TRUE(WaitForText(progressText, L" 50 %\t(  5.0 /  10.0 MB)", 10000));
    EXPECT_TRUE(IsWindowEnabled(dialog));

    // The Close item asks as well; "Yes" ends the dialog with IDCANCEL and no worker left.
    PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(AnswerBox(dialog, IDYES), L"Do you want to cancel the update?");
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(m_app->DialogResult(), static_cast<intptr_t>(IDCANCEL));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(g_threadManager.IsRunning());
}

TEST_F(Win32DialogViewTest, ErrorScreenClosesWithEscWithoutAQuestion)
{
    if (!RunsHere()) return;
    g_failureCode = static_cast<int>(RC_NETWORK_ERROR);
    HWND dialog = StartDialog();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForText(GetDlgItem(dialog, 2), L"Close", 10000));
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1002)), L"Could not connect to the update server.");
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1003)), L"Check your Internet connection and try again later.");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, 1001)));
    // Esc reaches the dialog through its keyboard handling as the button does.
    SetForegroundWindow(dialog);
    PostMessageW(GetDlgItem(dialog, 2), WM_KEYDOWN, VK_ESCAPE, 0);
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(m_app->DialogResult(), static_cast<intptr_t>(IDCANCEL));
}

TEST_F(Win32DialogViewTest, DuringTheInstallationTheDialogHidesWithCloseGrayedAndUnmarked)
{
    if (!RunsHere()) return;
    m_app->SetStageProcedure(Stage::Download, &DownloadAll);
    m_app->SetStageProcedure(Stage::Verify, &Verify);
    m_app->SetStageProcedure(Stage::Install, &Install);
    HWND dialog = StartDialog();
    ASSERT_NE(dialog, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (GetPropW(dialog, kInstanceKey) != nullptr && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(GetPropW(dialog, kInstanceKey), nullptr);
    EXPECT_EQ(GetWindowLongW(dialog, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_NE(GetMenuState(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, 2)));
    EXPECT_EQ(WindowText(GetDlgItem(dialog, 1002)), L"The installation has started...");
    g_release = true;
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(m_app->DialogResult(), static_cast<intptr_t>(RC_INSTALLED));
}

}  // namespace

#endif
