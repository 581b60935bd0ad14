// The program as a process under Wine with its Win32 dialog on a display that the tests
// start: started with the key it shows the dialog (the shipped stages end at the error
// screen), a second start activates the first and ends without a window, and every run
// ends with exit status 0.

#if defined(_WIN32)

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "TestSupport.h"
#include "WineDisplaySupport.h"

// windows.h comes after the project's headers: its macros would rename their constants.
#include <windows.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using kestrow_test::WineDisplay;

constexpr wchar_t kKey[] = L"Vimbly_Kestrow";

class Win32DialogProcessTest : public kestrow_test::TempFolderTest {
protected:
    void SetUp() override
    {
        WineDisplay& display = WineDisplay::Get();
        if (!display.SkipReason().empty()) GTEST_SKIP() << display.SkipReason();
        TempFolderTest::SetUp();
        m_desktop = display.NewDesktop();
        MakeDir("bin");
        MakeDir("tmp");
        const fs::path program(KESTROW_PROGRAM);
        fs::copy_file(program, Native("bin") / program.filename());
        fs::copy_file(program.parent_path() / "KestrowStrings.xml", Native("bin") / "KestrowStrings.xml");
        m_program = (Native("bin") / program.filename()).make_preferred().wstring();
    }
    void TearDown() override
    {
        for (HANDLE process : m_started) {
            if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 1);
            CloseHandle(process);
        }
        TempFolderTest::TearDown();
    }

    // Starts the program with the instance key on the test's desktop.
    HANDLE Start()
    {
        std::wstring command = L"\"" + m_program + L"\" " + kKey;
        // The inherited environment with TMP and TEMP in the test's folder.
        std::wstring environment;
        if (wchar_t* block = GetEnvironmentStringsW()) {
            for (const wchar_t* entry = block; *entry != 0; entry += wcslen(entry) + 1) {
                if (_wcsnicmp(entry, L"TMP=", 4) != 0 && _wcsnicmp(entry, L"TEMP=", 5) != 0)
                    environment += std::wstring(entry) + L'\0';
            }
            FreeEnvironmentStringsW(block);
        }
        for (const wchar_t* name : {L"TMP=", L"TEMP="}) environment += name + Native("tmp").wstring() + L'\0';
        environment += L'\0';
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.lpDesktop = m_desktop.data();
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(m_program.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                            environment.data(), nullptr, &startup, &info)) {
            ADD_FAILURE() << "cannot start the program: " << GetLastError();
            return nullptr;
        }
        CloseHandle(info.hThread);
        m_started.push_back(info.hProcess);
        return info.hProcess;
    }
    // The exit status, or -1 when the process did not end in time.
    static long ExitStatus(HANDLE process)
    {
        DWORD status = 0;
        if (process == nullptr || WaitForSingleObject(process, 30000) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(process, &status))
            return -1;
        return static_cast<long>(status);
    }
    // The marked dialog of the process, once it shows its error screen (the bar hidden).
    HWND DialogAtErrorScreen(HANDLE process)
    {
        HWND dialog = static_cast<HWND>(kestrow_test::FindMarkedWindow(m_desktop, kKey, 20000));
        if (dialog == nullptr) return nullptr;
        DWORD owner = 0;
        GetWindowThreadProcessId(dialog, &owner);
        EXPECT_EQ(owner, GetProcessId(process));
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        // The window shows, then its bar goes: the error screen. (The style bits: another
        // desktop's windows count as hidden to IsWindowVisible until its desktop shows.)
        while (!(Shown(dialog) && !Shown(GetDlgItem(dialog, 1001))) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(Shown(dialog));
        EXPECT_FALSE(Shown(GetDlgItem(dialog, 1001)));
        return dialog;
    }
    static bool Shown(HWND window) { return (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0; }
    static void PressEnd(HWND dialog) { PostMessageW(GetDlgItem(dialog, 2), BM_CLICK, 0, 0); }
    int CountMarked()
    {
        struct Count {
            int marked = 0;
        } count;
        if (HDESK desktop = OpenDesktopW(m_desktop.c_str(), 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE)) {
            EnumDesktopWindows(
                desktop,
                [](HWND window, LPARAM context) -> BOOL {
                    if (GetPropW(window, kKey) != nullptr) ++reinterpret_cast<Count*>(context)->marked;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&count));
            CloseDesktop(desktop);
        }
        return count.marked;
    }

    std::wstring m_desktop;
    std::wstring m_program;
    std::vector<HANDLE> m_started;
};

TEST_F(Win32DialogProcessTest, ASecondStartActivatesTheFirstDialogAndEndsWithoutAWindow)
{
    HANDLE first = Start();
    HWND dialog = DialogAtErrorScreen(first);
    ASSERT_NE(dialog, nullptr);

    // While the dialog shows: the second start restores it and ends without a window.
    ShowWindow(dialog, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(dialog));
    EXPECT_EQ(ExitStatus(Start()), 0);
    EXPECT_FALSE(IsIconic(dialog));
    EXPECT_EQ(CountMarked(), 1);

    // Without the property (as during the installation) the dialog is not found: the
    // second start ends without activating anything and without a window of its own.
    ShowWindow(dialog, SW_MINIMIZE);
    ASSERT_TRUE(RemovePropW(dialog, kKey) != nullptr);
    EXPECT_EQ(ExitStatus(Start()), 0);
    EXPECT_TRUE(IsIconic(dialog));
    EXPECT_EQ(CountMarked(), 0);

    // The End button ends the first.
    ShowWindow(dialog, SW_RESTORE);
    PressEnd(dialog);
    EXPECT_EQ(ExitStatus(first), 0);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(Win32DialogProcessTest, AStartAfterTheFirstEndedShowsItsOwnDialog)
{
    HANDLE first = Start();
    HWND firstDialog = DialogAtErrorScreen(first);
    ASSERT_NE(firstDialog, nullptr);
    // The close item on the error screen ends it without a question.
    PostMessageW(firstDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(ExitStatus(first), 0);

    HANDLE second = Start();
    HWND secondDialog = DialogAtErrorScreen(second);
    ASSERT_NE(secondDialog, nullptr);
    PressEnd(secondDialog);
    EXPECT_EQ(ExitStatus(second), 0);
}

}  // namespace

#endif
