// kestrow_process_helper: a stand-in for the installer and the volume watcher in the
// process tests. Its command line is the one the updater gives (the installer's, the
// watcher's " /exitall" or none), so what it does comes from "helper.cfg" in the folder of
// its executable, one "key=value" a line:
//   <mode>.exit=N       exit code (Linux keeps its low 8 bits)
//   <mode>.sleep=MS     run this long first (a run ends early once "stop" appears)
//   <mode>.window=1     show a top-level window meanwhile (Linux: on the X display)
// where <mode> is "exitall" when an argument is "/exitall" (that run also creates "stop",
// which ends the resident watchers' runs), else "run". Each run writes "<mode>.record": its
// arguments (Windows: also the raw command line), its user and groups (Linux), and the
// marker that the test appended to the executable it runs from ("MARK:text").
//
// Two tools for the tests' other processes, chosen by the first argument:
//   --replace SRC DST   renames SRC over DST; exit 0 when done, 1 when refused
//   --keep-moving SRC DST MS   for MS, moves SRC to DST whenever it can and back again;
//                              exit code: the number of moves (at most 255)
//   --hold-mutex NAME READY MS   holds the named mutex, creates READY, and waits MS or
//                                until "stop" appears beside READY
//   --window-probe      exit 0 when it can show a window here, 1 when not

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/PlatformNamedMutex.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <stdio.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>
#endif

namespace fs = std::filesystem;

namespace {

// The executable this process runs from (Linux: also when it was replaced or removed).
fs::path OwnPath()
{
#if defined(_WIN32)
    wchar_t buffer[4096];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 4096);
    return fs::path(std::wstring(buffer, length));
#else
    std::string path = fs::read_symlink("/proc/self/exe").string();
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    return path;
#endif
}

// "MARK:text" at the end of the running executable, or "none".
std::string Marker()
{
#if defined(_WIN32)
    std::ifstream file(OwnPath(), std::ios::binary);
#else
    std::ifstream file("/proc/self/exe", std::ios::binary);
#endif
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    const std::streamoff start = size > 64 ? size - 64 : 0;
    file.seekg(start);
    std::string tail(static_cast<size_t>(size - start), '\0');
    file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    const std::string::size_type mark = tail.rfind("MARK:");
    if (mark == std::string::npos) return "none";
    const std::string text = tail.substr(mark + 5);
    return text.substr(0, text.find('\n'));
}

std::map<std::string, std::string> ReadConfig(const fs::path& folder)
{
    std::map<std::string, std::string> config;
    std::ifstream file(folder / "helper.cfg");
    std::string line;
    while (std::getline(file, line)) {
        const std::string::size_type equals = line.find('=');
        if (equals != std::string::npos) config[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return config;
}

long Number(const std::map<std::string, std::string>& config, const std::string& key)
{
    const auto found = config.find(key);
    return found == config.end() ? 0 : std::strtol(found->second.c_str(), nullptr, 0);
}

void Record(const fs::path& folder, const std::string& mode, int argc, char** argv)
{
    std::ostringstream text;
    text << "argc=" << argc << "\n";
    for (int i = 0; i < argc; ++i) text << "arg" << i << "=" << argv[i] << "\n";
#if defined(_WIN32)
    const std::wstring command = GetCommandLineW();
    std::string narrow;
    for (const wchar_t c : command) narrow += c < 128 ? static_cast<char>(c) : '?';
    text << "cmdline=" << narrow << "\n";
#else
    text << "uid=" << getuid() << "\neuid=" << geteuid() << "\ngid=" << getgid() << "\n";
    gid_t groups[256];
    const int count = getgroups(256, groups);
    text << "groups=";
    for (int i = 0; i < count; ++i) text << (i ? "," : "") << groups[i];
    text << "\nhome=" << (std::getenv("HOME") ? std::getenv("HOME") : "") << "\n";
#endif
    text << "marker=" << Marker() << "\n";
    // Written whole under another name and renamed, so that a reader never sees half.
    const fs::path temporary = folder / (mode + ".record.tmp");
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << text.str();
    }
    std::error_code ignored;
    fs::rename(temporary, folder / (mode + ".record"), ignored);
}

#if defined(_WIN32)
LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(window, message, wParam, lParam);
}

// A visible top-level window, kept alive with a message loop until the time is up.
bool ShowWindowFor(long milliseconds, const fs::path& stop)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &WindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KestrowHelperWindow";
    RegisterClassW(&windowClass);
    const HWND window =
        CreateWindowExW(0, L"KestrowHelperWindow", L"Kestrow test installer", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window == nullptr) return false;
    ShowWindow(window, SW_SHOWNORMAL);
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    while (GetTickCount64() < end && !fs::exists(stop)) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    DestroyWindow(window);
    return true;
}
#else
// A mapped top-level window that carries this process's id in _NET_WM_PID.
bool ShowWindowFor(long milliseconds, const fs::path& stop)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (const int error = xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no X connection: error %d\n", error);
        xcb_disconnect(connection);
        return false;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const char name[] = "_NET_WM_PID";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    const uint32_t pid = static_cast<uint32_t>(getpid());
    if (atom != nullptr)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &pid);
    std::free(atom);
    xcb_map_window(connection, window);
    xcb_flush(connection);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end && !fs::exists(stop))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    xcb_disconnect(connection);
    return true;
}
#endif

void SleepFor(long milliseconds, const fs::path& stop)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end && !fs::exists(stop))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

[[noreturn]] void ExitWith(long code)
{
#if defined(_WIN32)
    ExitProcess(static_cast<UINT>(code));
#else
    std::exit(static_cast<int>(code & 0xFF));
#endif
}

int Replace(const char* source, const char* target)
{
#if defined(_WIN32)
    const std::wstring from = fs::path(source).wstring();
    const std::wstring to = fs::path(target).wstring();
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
#else
    return std::rename(source, target) == 0 ? 0 : 1;
#endif
}

// Renames source to target (never over an existing target); whether it went through.
bool MoveAside(const fs::path& source, const fs::path& target)
{
#if defined(_WIN32)
    return MoveFileExW(source.wstring().c_str(), target.wstring().c_str(), 0) != 0;
#else
    return renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0;
#endif
}

// For the given time, moves source to target whenever it can, keeps it there a moment
// and tries to move it back. Exit code: how many moves went through (at most 255).
int KeepMoving(const char* source, const char* target, long milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    int moves = 0;
    while (std::chrono::steady_clock::now() < end) {
        if (!MoveAside(source, target)) continue;
        ++moves;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        for (int i = 0; i < 20 && !MoveAside(target, source); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return moves > 255 ? 255 : moves;
}

int HoldMutex(const char* name, const char* ready, long milliseconds)
{
    XpPlatformString wide;
    for (const char* c = name; *c != 0; ++c) wide += static_cast<XpChar>(*c);
    intptr_t handle = 0;
    bool existed = false;
    if (XpPlatformCreateNamedMutex(wide.c_str(), &handle, &existed) != 0 || existed) return 1;
    std::ofstream(ready) << "held\n";
    SleepFor(milliseconds, fs::path(ready).parent_path() / "stop");
    XpPlatformCloseNamedMutex(handle);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--replace") return Replace(argv[2], argv[3]);
    if (argc == 5 && std::string(argv[1]) == "--keep-moving")
        return KeepMoving(argv[2], argv[3], std::strtol(argv[4], nullptr, 10));
    if (argc == 2 && std::string(argv[1]) == "--window-probe") return ShowWindowFor(0, fs::path()) ? 0 : 1;
    if (argc == 5 && std::string(argv[1]) == "--hold-mutex")
        return HoldMutex(argv[2], argv[3], std::strtol(argv[4], nullptr, 10));

    std::string mode = "run";
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "/exitall") mode = "exitall";
    const fs::path folder = OwnPath().parent_path();
    const std::map<std::string, std::string> config = ReadConfig(folder);
    // "stop" ends the resident run; the exit-all run, which makes it, runs its full time.
    const fs::path stop = mode == "exitall" ? folder / "stop.never" : folder / "stop";
    if (mode == "exitall") std::ofstream(folder / "stop") << "stop\n";
    Record(folder, mode, argc, argv);
    const long sleep = Number(config, mode + ".sleep");
    if (Number(config, mode + ".window") != 0) {
        if (!ShowWindowFor(sleep, stop)) std::ofstream(folder / (mode + ".nowindow")) << "no window\n";
    } else {
        SleepFor(sleep, stop);
    }
    ExitWith(Number(config, mode + ".exit"));
}
