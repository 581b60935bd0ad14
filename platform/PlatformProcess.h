#pragma once
// Processes: starting a program from a command line, waiting for its end, its exit code,
// whether it has shown a window, the running programs by executable file name, the start
// of a program as the logged-on desktop user, and whether this process is an
// administrator.
//
// Windows: CreateProcessW, WaitForSingleObject and GetExitCodeProcess, WaitForInputIdle,
// EnumWindows with GetWindowThreadProcessId and IsWindowVisible, Toolhelp snapshots,
// CreateProcessWithTokenW with a primary copy of the desktop shell's ("Progman") token and
// CreateProcessW as the fallback, IsUserAnAdmin.
// Linux: fork and exec, the argument vector split from the command line by the Windows
// rules (platform/shared/XpCommandLine.h); a pidfd to wait with a time-out; the X11
// top-level windows whose _NET_WM_PID is the process's (none without a display); /proc for
// the running programs; the desktop user is the user of the graphical session (SUDO_UID,
// PKEXEC_UID, else the owner of the X display's socket), switched to in the child
// (supplementary groups, then group, then user), with the updater's own identity as the
// fallback; an administrator is effective user 0. docs/process.md says more.

#include <cstdint>
#include <vector>

#include "platform/XpChar.h"

// The exit code of a process that has not ended yet (STILL_ACTIVE). A process may also
// end with it.
inline constexpr uint32_t kXpStillActive = 259;

// Creation flags of XpPlatformProcess::Start, numbered as CreateProcessW takes them.
namespace XpProcessFlag {
// No console of the parent's (DETACHED_PROCESS). Linux: a session of its own (setsid), so
// that the end of the updater's terminal does not end it.
inline constexpr uint32_t Detached = 0x00000008;
// The system's default error mode rather than the parent's (CREATE_DEFAULT_ERROR_MODE).
// Linux: nothing to do.
inline constexpr uint32_t DefaultErrorMode = 0x04000000;
}  // namespace XpProcessFlag

// One started process, owned until Close or destruction. Waits answer as
// WaitForSingleObject does (XpWaitResult of PlatformSync.h).
class XpPlatformProcess {
public:
    XpPlatformProcess() = default;
    ~XpPlatformProcess() { Close(); }
    XpPlatformProcess(const XpPlatformProcess&) = delete;
    XpPlatformProcess& operator=(const XpPlatformProcess&) = delete;

    // CreateProcessW with the application (null: the command line's first word names the
    // program) and the command line (null: none), no inherited handles, the flags, this
    // process's environment, current folder and start-up information. 0 or a Windows
    // error number (FileNotFound when there is no such program).
    // Linux: the program is the application, else the command line's first word, taken
    // as a path (no search of PATH); its argument vector is the command line's words, the
    // first of them the program's name as the command line gives it (the application's
    // path when the command line is null or its first word empty). No descriptor of this
    // process passes to the program, except the one that an application of the form
    // "/proc/self/fd/N" names: the program runs from that descriptor, and an interpreter
    // that a script names must be able to open it too.
    uint32_t Start(const XpChar* application, const XpChar* commandLine, uint32_t flags);

    // Starts the program as the logged-on desktop user (application required, command
    // line as Start). Windows: the desktop shell's token duplicated as a primary token and
    // CreateProcessWithTokenW (looked up at run time) with CREATE_DEFAULT_ERROR_MODE, a
    // zeroed start-up record and no environment block; when the shell's window, its
    // token or that call is unavailable, CreateProcessW with null-DACL security
    // attributes and DETACHED_PROCESS, as this process's own (elevated) user.
    // Linux: the desktop user (see above), switched to in the child, with HOME, USER and
    // LOGNAME of that user; when there is none, it is this process's own user, or the
    // switch fails, this process's own identity. Both in a session of their own.
    uint32_t StartAsDesktopUser(const XpChar* application, const XpChar* commandLine);

    bool IsStarted() const { return m_id != 0; }
    uint32_t Id() const { return m_id; }

    // Waits for the process's end: Object0 once it has ended, Timeout, or Failed (no
    // process).
    uint32_t Wait(uint32_t milliseconds);
    // The exit code, kXpStillActive while the process runs; false when it cannot be read.
    // Linux: the exit status, or 128 plus the signal's number for a process that a signal
    // ended (exit statuses are 8 bits: 3010 or 259 cannot occur there).
    bool GetExitCode(uint32_t* code);
    // WaitForInputIdle: Object0 once the process waits for input with nothing pending,
    // Timeout, or Failed (a process without a message queue, or none at all).
    // Linux: no program has an input queue the system can see, so a started process
    // answers Object0 at once (ended or not) and the window search decides when it has
    // shown itself; Failed without a process.
    uint32_t WaitForInputIdle(uint32_t milliseconds);

    // Lets go of the process (it goes on running). Linux: a process that has not been
    // waited for to its end stays a child of this one until it ends.
    void Close();

private:
    intptr_t m_handle = 0;  // Windows: the process handle; Linux: a pidfd + 1 (0: none)
    uint32_t m_id = 0;
    bool m_bEnded = false;  // Linux: the end was collected, m_exitCode holds its code
    uint32_t m_exitCode = kXpStillActive;
};

// Whether the first top-level window of the process, in the system's enumeration order
// (topmost first), is visible. Only that first window is looked at. False when the
// process has no top-level window. Linux: X11 windows carrying the process id in
// _NET_WM_PID, viewable; false without a display.
bool XpPlatformIsFirstWindowVisible(uint32_t processId);

// The executable file names (the last part of the path, as the system spells it) of the
// running processes, one per process. Windows: a Toolhelp snapshot. Linux: the target of
// /proc/<pid>/exe, else (another user's process, which only an administrator may look
// into) the first word of its /proc/<pid>/cmdline; never the 15-character "comm".
// 0, or a Windows error number with *names empty.
uint32_t XpPlatformListProcessFileNames(std::vector<XpPlatformString>* names);

// IsUserAnAdmin: the process runs with administrator rights (Linux: effective user 0).
bool XpPlatformIsUserAnAdmin();
