// The demo installer: a stand-in for the host product's update package, for the demo and
// the end-to-end tests. The updater starts it as it starts every package,
//
//     "<package path>" /C:"setup.exe /oi /noallui /skipdxeula"
//
// and it then "updates" the host product: it writes the new version as the first line of
// "Version.txt" in the folder that "InstalledLocation" names (where the updater reads the
// installed version), leaves "InstallResult" behind, and ends with an exit code. It
// refuses (exit code 87, nothing changed) a command line that is not exactly that one, so
// that a package path cut at a blank shows.
//
// What it does is set in the machine registry, key
// "SOFTWARE\Norvale Corporation\Vimbly\DemoInstaller" (Linux: the machine hive of
// NORVALE_REGISTRY_DIR, which it inherits from the updater):
//
//   "ExitCode"       REG_DWORD  the exit code (default 0)
//   "InstallResult"  REG_DWORD  the result it leaves (default 0); "WriteResult" 0 leaves none
//   "WriteResult"    REG_DWORD  1 (default) writes "InstallResult", 0 removes it
//   "ShowWindow"     REG_DWORD  1 (default) shows a top-level window while it runs
//   "RunMs"          REG_DWORD  how long it runs before it ends (default 1500 ms)
//   "NewVersion"     REG_SZ     the version it installs (default "4.3.00.10000")
//
// It records the arguments it was given as "LastArguments" (REG_SZ, joined by "|") and
// the number of runs as "Runs" (REG_DWORD).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "foundation/text/XpString.h"
#include "platform/PlatformRegistry.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>
#else
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>
#endif

namespace {

const XpChar kHostKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly");
const XpChar kSettingsKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly\\DemoInstaller");
const char kExpectedSwitch[] = "/C:setup.exe /oi /noallui /skipdxeula";
constexpr uint32_t kRefused = 87;  // ERROR_INVALID_PARAMETER

struct Settings {
    uint32_t exitCode = 0;
    uint32_t installResult = 0;
    bool writeResult = true;
    bool showWindow = true;
    uint32_t runMs = 1500;
    XpString newVersion = XP_T("4.3.00.10000");
};

bool ReadDword(XpRegKey key, const XpChar* name, uint32_t* value)
{
    uint32_t type = 0;
    uint32_t data = 0;
    uint32_t size = sizeof data;
    if (XpPlatformRegQueryValue(key, name, &type, &data, &size) != 0 || size != sizeof data) return false;
    *value = data;
    return true;
}

bool ReadString(XpRegKey key, const XpChar* name, XpString* value)
{
    XpChar buffer[1024] = {};
    uint32_t size = sizeof buffer - sizeof(XpChar);
    uint32_t type = 0;
    if (XpPlatformRegQueryValue(key, name, &type, buffer, &size) != 0) return false;
    if (type != XpRegType::Sz && type != XpRegType::ExpandSz) return false;
    *value = XpString(buffer);
    return true;
}

void WriteString(XpRegKey key, const XpChar* name, const XpString& text)
{
    XpPlatformRegSetValue(key, name, XpRegType::Sz, text.GetString(),
                          static_cast<uint32_t>((text.GetLength() + 1) * sizeof(XpChar)));
}

void WriteDword(XpRegKey key, const XpChar* name, uint32_t value)
{
    XpPlatformRegSetValue(key, name, XpRegType::Dword, &value, sizeof value);
}

Settings ReadSettings(XpRegKey settings)
{
    Settings result;
    uint32_t number = 0;
    ReadDword(settings, XP_T("ExitCode"), &result.exitCode);
    ReadDword(settings, XP_T("InstallResult"), &result.installResult);
    if (ReadDword(settings, XP_T("WriteResult"), &number)) result.writeResult = number != 0;
    if (ReadDword(settings, XP_T("ShowWindow"), &number)) result.showWindow = number != 0;
    ReadDword(settings, XP_T("RunMs"), &result.runMs);
    ReadString(settings, XP_T("NewVersion"), &result.newVersion);
    return result;
}

// The host product's installed location, with its separator at the end.
XpString InstalledLocation(XpRegKey host)
{
    XpString location;
    if (!ReadString(host, XP_T("InstalledLocation"), &location) || location.IsEmpty()) return XpString();
    const XpChar last = location.GetString()[location.GetLength() - 1];
    if (last != XP_T('\\') && last != XP_T('/')) {
#if defined(_WIN32)
        location += XP_T("\\");
#else
        location += XP_T("/");
#endif
    }
    return location;
}

bool WriteVersionFile(const XpString& location, const XpString& version)
{
    const XpString path = location + XP_T("Version.txt");
#if defined(_WIN32)
    std::FILE* file = _wfopen(path.GetString(), L"wb");
#else
    std::FILE* file = std::fopen(path.ToNarrow().GetString(), "wb");
#endif
    if (file == nullptr) return false;
    const XpNarrowString text = version.ToNarrow();
    const bool written = std::fprintf(file, "%s\r\n", text.GetString()) > 0;
    return std::fclose(file) == 0 && written;
}

#if defined(_WIN32)
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_TIMER) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A visible top-level window with a message loop for the run's length; without a window
// system it only waits.
void RunVisibly(const Settings& settings)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KestrowDemoInstaller";
    RegisterClassW(&windowClass);
    HWND window = settings.showWindow ? CreateWindowExW(0, windowClass.lpszClassName, L"Vimbly Setup (demo)",
                                                        WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                                        360, 120, nullptr, nullptr, windowClass.hInstance, nullptr)
                                      : nullptr;
    if (window == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settings.runMs));
        return;
    }
    SetTimer(window, 1, settings.runMs, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    DestroyWindow(window);
}

std::vector<std::string> Arguments(int, char**)
{
    // The command line as the system gives it, split by its own rules, so that the record
    // shows what the updater passed.
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; words != nullptr && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, words[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<size_t>(size > 0 ? size - 1 : 0), '\0');
        if (size > 1) WideCharToMultiByte(CP_UTF8, 0, words[i], -1, text.data(), size, nullptr, nullptr);
        arguments.push_back(text);
    }
    if (words != nullptr) LocalFree(words);
    return arguments;
}
#else
// An X11 top-level window that names this process (_NET_WM_PID) for the run's length;
// without a display it only waits.
void RunVisibly(const Settings& settings)
{
    Display* display = settings.showWindow ? XOpenDisplay(nullptr) : nullptr;
    if (display == nullptr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settings.runMs));
        return;
    }
    const Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 360, 120, 1,
                            BlackPixel(display, DefaultScreen(display)), WhitePixel(display, DefaultScreen(display)));
    XStoreName(display, window, "Vimbly Setup (demo)");
    const long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(display, window);
    XFlush(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(settings.runMs));
    XDestroyWindow(display, window);
    XCloseDisplay(display);
}

std::vector<std::string> Arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments = Arguments(argc, argv);
    XpRegKey settingsKey = kXpRegNoKey;
    XpRegKey hostKey = kXpRegNoKey;
    if (XpPlatformRegCreateKey(XpRegRoot::LocalMachine, kSettingsKey, XpRegAccess::Read | XpRegAccess::Write,
                               &settingsKey) != 0 ||
        XpPlatformRegCreateKey(XpRegRoot::LocalMachine, kHostKey, XpRegAccess::Read | XpRegAccess::Write, &hostKey) !=
            0) {
        std::fprintf(stderr, "demo installer: the registry cannot be written\n");
        return static_cast<int>(kRefused);
    }
    std::string joined;
    for (size_t i = 1; i < arguments.size(); ++i) joined += (i > 1 ? "|" : "") + arguments[i];
    WriteString(settingsKey, XP_T("LastArguments"), XpNarrowString(joined.c_str()).ToWide());
    uint32_t runs = 0;
    ReadDword(settingsKey, XP_T("Runs"), &runs);
    WriteDword(settingsKey, XP_T("Runs"), runs + 1);

    // A result of an earlier run must not pass for this one's.
    XpPlatformRegDeleteValue(hostKey, XP_T("InstallResult"));
    uint32_t exitCode = kRefused;
    if (arguments.size() == 2 && arguments[1] == kExpectedSwitch) {
        const Settings settings = ReadSettings(settingsKey);
        const XpString location = InstalledLocation(hostKey);
        if (!location.IsEmpty() && WriteVersionFile(location, settings.newVersion)) {
            RunVisibly(settings);
            if (settings.writeResult) WriteDword(hostKey, XP_T("InstallResult"), settings.installResult);
            exitCode = settings.exitCode;
        } else {
            std::fprintf(stderr, "demo installer: the host product's Version.txt cannot be written\n");
        }
    } else {
        std::fprintf(stderr, "demo installer: expected the one argument \"%s\"\n", kExpectedSwitch);
    }
    XpPlatformRegCloseKey(settingsKey);
    XpPlatformRegCloseKey(hostKey);
    return static_cast<int>(exitCode);
}
