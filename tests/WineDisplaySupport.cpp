#include "WineDisplaySupport.h"

#if defined(_WIN32)

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "LinkSupport.h"
#include "TestSupport.h"

// windows.h comes after the project's headers: its macros would rename their constants.
#include <windows.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace kestrow_test {

namespace {

constexpr char kChildVariable[] = "KESTROW_WINDOW_TEST_CHILD";

// Runs a shell line as a Linux process; Wine gives no handle of it, so it reports through
// files.
bool RunShell(const std::string& line)
{
    std::wstring command = L"/bin/sh -c \"";
    for (char c : line) {
        if (c == '"' || c == '\\') command += L'\\';
        command += static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    command += L'"';
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(L"Z:\\bin\\sh", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    return true;
}

bool WaitForFile(const fs::path& path, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

class StopAtEnd : public ::testing::Environment {
public:
    void TearDown() override
    {
        if (g_display != nullptr) g_display->Stop();
    }
    static inline WineDisplay* g_display = nullptr;
};

struct Search {
    const wchar_t* key;
    HWND owner;
    HWND found;
};

HWND FindOnDesktop(const std::wstring& desktop, Search& search, WNDENUMPROC test, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        if (HDESK handle = OpenDesktopW(desktop.c_str(), 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE)) {
            EnumDesktopWindows(handle, test, reinterpret_cast<LPARAM>(&search));
            CloseDesktop(handle);
        }
        if (search.found != nullptr) return search.found;
        std::this_thread::sleep_for(20ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return nullptr;
}

}  // namespace

WineDisplay& WineDisplay::Get()
{
    static WineDisplay* display = [] {
        auto* made = new WineDisplay();
        StopAtEnd::g_display = made;
        ::testing::AddGlobalTestEnvironment(new StopAtEnd);
        return made;
    }();
    return *display;
}

WineDisplay::WineDisplay()
{
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") == nullptr) {
        m_skipReason = "the window tests run under Wine, on a display that they start";
        return;
    }
    char display[32] = {};
    if (GetEnvironmentVariableA("DISPLAY", display, sizeof display) == 0 || display[0] != ':') {
        m_skipReason = "no display number handed over (the test entry win32_dialog sets KESTROW_WINE_X11=1)";
        return;
    }
    if (GetFileAttributesW(L"Z:\\usr\\bin\\Xvfb") == INVALID_FILE_ATTRIBUTES) {
        m_skipReason = "Xvfb is missing (Debian package xvfb)";
        return;
    }
    m_display = display;
    const std::string number = m_display.substr(1);
    m_folder = fs::temp_directory_path() / ("kestrow-display-" + RandomTag());
    fs::create_directories(m_folder);
    // A window test's own process uses the display that its parent started.
    if (IsWindowTestChild()) return;
    const std::string folder = UnixPath(m_folder);
    // Xvfb runs while the run file is there (two minutes at most, should the test program
    // die); "ready" once the server holds the display, "failed" when it could not.
    WriteWholeFile(m_folder / "run", "");
    const std::string line = "cd '" + folder + "' || exit 1; Xvfb :" + number + " -screen 0 " + std::to_string(kWidth) +
                             "x" + std::to_string(kHeight) +
                             "x24 -nolisten tcp >/dev/null 2>&1 & x=$!; i=0; "
                             "while [ $i -lt 100 ] && kill -0 $x 2>/dev/null && "
                             "! { [ -e /tmp/.X11-unix/X" +
                             number +
                             " ] && "
                             "[ \"$(tr -d ' \\n' < /tmp/.X" +
                             number +
                             "-lock 2>/dev/null)\" = \"$x\" ]; }; "
                             "do sleep 0.1; i=$((i + 1)); done; "
                             "if kill -0 $x 2>/dev/null && [ $i -lt 100 ]; then echo > ready; else echo > failed; fi; "
                             "i=0; while [ -e run ] && [ $i -lt 600 ] && kill -0 $x 2>/dev/null; "
                             "do sleep 0.2; i=$((i + 1)); done; kill $x 2>/dev/null; wait $x; echo > stopped";
    if (!RunShell(line)) {
        m_skipReason = "cannot start a shell for Xvfb";
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (!fs::exists(m_folder / "ready")) {
        if (fs::exists(m_folder / "failed") || std::chrono::steady_clock::now() > deadline) {
            m_skipReason = "Xvfb did not start on display " + m_display;
            ADD_FAILURE() << m_skipReason;
            return;
        }
        std::this_thread::sleep_for(20ms);
    }
}

void WineDisplay::Stop()
{
    if (m_folder.empty()) return;
    std::error_code ignored;
    fs::remove(m_folder / "run", ignored);
    if (fs::exists(m_folder / "ready") && !IsWindowTestChild()) WaitForFile(m_folder / "stopped", 5s);
    RemoveTree(m_folder);
    m_folder.clear();
}

std::wstring WineDisplay::NewDesktop()
{
    const std::wstring name = L"kestrow-" + fs::path(RandomTag()).wstring();
    // Wine makes a desktop with a size in this key a virtual desktop of that size.
    const std::wstring size = std::to_wstring(kWidth) + L"x" + std::to_wstring(kHeight);
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Explorer\\Desktops", name.c_str(), REG_SZ, size.c_str(),
                    static_cast<DWORD>((size.size() + 1) * sizeof(wchar_t)));
    return name;
}

bool WineDisplay::Screenshot(const fs::path& png, int x, int y, int width, int height)
{
    if (GetFileAttributesW(L"Z:\\usr\\bin\\import") == INVALID_FILE_ATTRIBUTES) return false;
    fs::create_directories(png.parent_path());
    std::error_code ignored;
    fs::remove(png, ignored);
    const fs::path done = m_folder / ("shot-" + RandomTag());
    const std::string target = UnixPath(png);
    const std::string geometry =
        std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y);
    const std::string line = "import -display " + m_display + " -window root -crop " + geometry + " +repage '" +
                             target + ".tmp.png' && mv '" + target + ".tmp.png' '" + target + "'; echo > '" +
                             UnixPath(done) + "'";
    return RunShell(line) && WaitForFile(done, 20s) && fs::exists(png);
}

bool IsWindowTestChild()
{
    char value[4] = {};
    return GetEnvironmentVariableA(kChildVariable, value, sizeof value) == 1 && value[0] == '1';
}

std::wstring CurrentDesktop()
{
    wchar_t name[128] = {};
    GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name, sizeof name, nullptr);
    return name;
}

bool RunWindowTestInChild(const std::wstring& desktop)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_filter=" + fs::path(filter).wstring();
    const fs::path output = fs::temp_directory_path() / ("kestrow-window-test-" + RandomTag() + ".txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(output.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    SetEnvironmentVariableA(kChildVariable, "1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = out;
    std::wstring desktopName = desktop;
    startup.lpDesktop = desktopName.data();
    PROCESS_INFORMATION info{};
    const BOOL started =
        CreateProcessW(self, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    SetEnvironmentVariableA(kChildVariable, nullptr);
    CloseHandle(out);
    if (!started) {
        ADD_FAILURE() << "cannot start the window test's process: " << GetLastError();
        return false;
    }
    DWORD status = 1;
    const bool ended = WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(info.hProcess, 1);
    GetExitCodeProcess(info.hProcess, &status);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    const std::string text = ReadWholeFile(output);
    std::error_code ignored;
    fs::remove(output, ignored);
    const bool passed = ended && status == 0 && text.find("[  PASSED  ] 1 test") != std::string::npos;
    EXPECT_TRUE(passed) << "the window test's own process:\n" << text;
    return passed;
}

void* FindMarkedWindow(const std::wstring& desktop, const std::wstring& key, int timeoutMs)
{
    Search search{key.c_str(), nullptr, nullptr};
    return FindOnDesktop(
        desktop, search,
        [](HWND window, LPARAM context) -> BOOL {
            Search& search = *reinterpret_cast<Search*>(context);
            if (GetPropW(window, search.key) == nullptr) return TRUE;
            search.found = window;
            return FALSE;
        },
        timeoutMs);
}

void* FindOwnedWindow(const std::wstring& desktop, void* owner, int timeoutMs)
{
    Search search{nullptr, static_cast<HWND>(owner), nullptr};
    return FindOnDesktop(
        desktop, search,
        [](HWND window, LPARAM context) -> BOOL {
            Search& search = *reinterpret_cast<Search*>(context);
            if (window == search.owner || GetWindow(window, GW_OWNER) != search.owner || !IsWindowVisible(window))
                return TRUE;
            search.found = window;
            return FALSE;
        },
        timeoutMs);
}

std::wstring WindowText(void* window)
{
    wchar_t text[512] = {};
    DWORD_PTR length = 0;
    SendMessageTimeoutW(static_cast<HWND>(window), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 2000,
                        &length);
    return std::wstring(text, static_cast<size_t>(length));
}

bool WaitForText(void* window, const std::wstring& text, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (WindowText(window) != text) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

}  // namespace kestrow_test

#endif
