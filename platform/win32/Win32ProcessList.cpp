// The running programs (Toolhelp), the first top-level window of a process (EnumWindows)
// and the administrator test (IsUserAnAdmin).

#include <windows.h>
// After windows.h:
#include <shlobj.h>
#include <tlhelp32.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformProcess.h"

namespace {

struct WindowSearch {
    DWORD processId;
    HWND found;
};

// Stops at the first window of the process, whatever its state.
BOOL CALLBACK FindFirstWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool XpPlatformIsFirstWindowVisible(uint32_t processId)
{
    WindowSearch search{processId, nullptr};
    EnumWindows(&FindFirstWindow, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr && IsWindowVisible(search.found);
}

uint32_t XpPlatformListProcessFileNames(std::vector<XpPlatformString>* names)
{
    names->clear();
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return GetLastError();
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        names->push_back(entry.szExeFile);
    CloseHandle(snapshot);
    return XpWinError::Success;
}

bool XpPlatformIsUserAnAdmin()
{
    return IsUserAnAdmin() != FALSE;
}
