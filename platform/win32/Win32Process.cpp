// Starting programs on Windows: CreateProcessW, and the start as the desktop user through
// the desktop shell's token with CreateProcessW as the fallback.

#include <windows.h>

#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformProcess.h"
#include "platform/PlatformSync.h"

namespace {

using CreateProcessWithTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                                     LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// CreateProcessW and its relatives may write into the command line: a copy of it, or
// null for none.
struct CommandLine {
    explicit CommandLine(const XpChar* text) : present(text != nullptr), buffer(text != nullptr ? text : L"") {}
    LPWSTR Get() { return present ? buffer.data() : nullptr; }
    bool present;
    std::wstring buffer;
};

// The desktop shell's token as a primary token; null when the shell's window, its
// process or its token is unavailable.
HANDLE DesktopShellToken()
{
    const HWND shell = FindWindowW(L"Progman", nullptr);
    if (shell == nullptr) return nullptr;
    DWORD processId = 0;
    GetWindowThreadProcessId(shell, &processId);
    const HANDLE process = OpenProcess(MAXIMUM_ALLOWED, FALSE, processId);
    if (process == nullptr) return nullptr;
    HANDLE token = nullptr;
    const BOOL opened = OpenProcessToken(process, MAXIMUM_ALLOWED, &token);
    CloseHandle(process);
    if (!opened) return nullptr;
    HANDLE primary = nullptr;
    const BOOL duplicated =
        DuplicateTokenEx(token, MAXIMUM_ALLOWED, nullptr, SecurityIdentification, TokenPrimary, &primary);
    CloseHandle(token);
    return duplicated ? primary : nullptr;
}

// The outcome of a process creation: its error, or the process kept and its first thread
// let go.
uint32_t TakeProcess(BOOL created, const PROCESS_INFORMATION& info, intptr_t* handle, uint32_t* id)
{
    if (!created) {
        const DWORD error = GetLastError();
        return error != 0 ? error : XpWinError::GenFailure;
    }
    CloseHandle(info.hThread);
    *handle = reinterpret_cast<intptr_t>(info.hProcess);
    *id = info.dwProcessId;
    return XpWinError::Success;
}

}  // namespace

uint32_t XpPlatformProcess::Start(const XpChar* application, const XpChar* commandLine, uint32_t flags)
{
    Close();
    CommandLine command(commandLine);
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    PROCESS_INFORMATION info{};
    const BOOL created =
        CreateProcessW(application, command.Get(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &info);
    return TakeProcess(created, info, &m_handle, &m_id);
}

uint32_t XpPlatformProcess::StartAsDesktopUser(const XpChar* application, const XpChar* commandLine)
{
    Close();
    if (application == nullptr || application[0] == 0) return XpWinError::InvalidParameter;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Both security attributes carry a null DACL, not inheritable.
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES processAttributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};
    SECURITY_ATTRIBUTES threadAttributes{sizeof(SECURITY_ATTRIBUTES), &descriptor, FALSE};

    bool started = false;
    const HMODULE advapi = GetModuleHandleW(L"Advapi32.dll");
    const auto createWithToken = advapi != nullptr
                                     ? reinterpret_cast<CreateProcessWithTokenFunction>(
                                           reinterpret_cast<void*>(GetProcAddress(advapi, "CreateProcessWithTokenW")))
                                     : nullptr;
    if (createWithToken != nullptr) {
        if (const HANDLE token = DesktopShellToken()) {
            CommandLine command(commandLine);
            started = createWithToken(token, 0, application, command.Get(), CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr,
                                      &startup, &info) != FALSE;
            CloseHandle(token);
        }
    }
    if (!started) {
        // The updater's own (elevated) identity.
        CommandLine command(commandLine);
        info = PROCESS_INFORMATION{};
        started = CreateProcessW(application, command.Get(), &processAttributes, &threadAttributes, FALSE,
                                 DETACHED_PROCESS, nullptr, nullptr, &startup, &info) != FALSE;
    }
    return TakeProcess(started, info, &m_handle, &m_id);
}

uint32_t XpPlatformProcess::Wait(uint32_t milliseconds)
{
    if (m_handle == 0) return XpWaitResult::Failed;
    return WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), milliseconds);
}

bool XpPlatformProcess::GetExitCode(uint32_t* code)
{
    if (m_handle == 0) return false;
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(m_handle), &exitCode)) return false;
    *code = exitCode;
    return true;
}

uint32_t XpPlatformProcess::WaitForInputIdle(uint32_t milliseconds)
{
    if (m_handle == 0) return XpWaitResult::Failed;
    return ::WaitForInputIdle(reinterpret_cast<HANDLE>(m_handle), milliseconds);
}

void XpPlatformProcess::Close()
{
    if (m_handle != 0) CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = 0;
    m_id = 0;
    m_bEnded = false;
    m_exitCode = kXpStillActive;
}
