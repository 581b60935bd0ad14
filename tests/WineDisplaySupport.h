// The window tests of the Windows build: an X display under Wine that the tests start
// themselves (Xvfb), desktops whose windows show on it, and screenshots of it.
//
// tools/wine-run.sh hands the test program a free display number in DISPLAY when the test
// entry asks for one (KESTROW_WINE_X11=1); without it, outside Wine, or without Xvfb the
// window tests are skipped with the reason. No <windows.h> here (see TestSupport.h):
// windows travel as void*.
#pragma once

#if defined(_WIN32)

#include <filesystem>
#include <string>

namespace kestrow_test {

class WineDisplay {
public:
    // The display of the whole test run, started on first use and stopped at the end.
    static WineDisplay& Get();

    // Empty when windows can be shown; otherwise why not.
    const std::string& SkipReason() const { return m_skipReason; }
    // A new desktop on the display, as a Wine virtual desktop of the display's size, so
    // that Wine draws the window frames itself (there is no window manager).
    std::wstring NewDesktop();
    // Saves the part of the screen (x, y, width, height) as a PNG file.
    bool Screenshot(const std::filesystem::path& png, int x, int y, int width, int height);

    static constexpr int kWidth = 640;
    static constexpr int kHeight = 360;

    void Stop();

private:
    WineDisplay();
    std::string m_skipReason;
    std::string m_display;
    std::filesystem::path m_folder;
};

// Wine binds a process to one window driver when it first makes a window, and the test
// program has made some (on the default desktop, without the display) before the display
// was started. A test that makes windows itself therefore runs in a process of its own:
// RunWindowTestInChild starts the test program with the current test alone on the
// desktop, and reports its result as the current test's; in that process
// IsWindowTestChild is true and the test runs.
bool IsWindowTestChild();
bool RunWindowTestInChild(const std::wstring& desktop);
// The name of the calling thread's desktop.
std::wstring CurrentDesktop();

// The first top-level window of the desktop that carries the window property key, waited
// for up to timeoutMs; null when none shows.
void* FindMarkedWindow(const std::wstring& desktop, const std::wstring& key, int timeoutMs);
// The first window of the desktop with the class name that another window owns (a
// message box of the dialog), waited for up to timeoutMs.
void* FindOwnedWindow(const std::wstring& desktop, void* owner, int timeoutMs);
// Waits up to timeoutMs for the control's text to equal text.
bool WaitForText(void* window, const std::wstring& text, int timeoutMs);
std::wstring WindowText(void* window);

}  // namespace kestrow_test

#endif
