#pragma once
// The install stage's procedure, written against a small seam so that it does not depend
// on the dialog: InstallThreadProc fills an InstallStageContext from the application
// object and maps the stage's messages to the dialog's (Begun: WM_INSTALL_BEGUN, Done:
// WM_INSTALL_DONE, with the parameters given).

#include <cstdint>
#include <functional>

#include "foundation/text/XpString.h"

class XpPlatformHeldFile;

// The window wait: this many rounds of this many milliseconds (about 30 seconds) for the
// installer's first window to show before the dialog steps aside anyway.
inline constexpr uint32_t kInstallWindowRounds = 300;
inline constexpr uint32_t kInstallWindowRoundMs = 100;
// The longest wait for the installer to become idle for input.
inline constexpr uint32_t kInstallInputIdleMs = 30000;
// The exit wait blocks in slices of this length, without an overall limit.
inline constexpr uint32_t kInstallExitSliceMs = 30000;
// WM_INSTALL_DONE's wParam when the installer could not be started or waited for.
inline constexpr uint64_t kInstallFailed = 0xFFFFFFFF;

enum class InstallStageMessage { Begun, Done };

struct InstallStageContext {
    XpString packagePath;  // m_strPackagePath
    // The package as verification accepted it (m_heldPackage). When it is open, the
    // installer runs from it, so that the bytes that run are the bytes that were checked;
    // it is let go once the installer process exists.
    XpPlatformHeldFile* held = nullptr;
    std::function<void(InstallStageMessage, uint64_t wParam, int64_t lParam)> post;
    uint32_t inputIdleMs = kInstallInputIdleMs;
    uint32_t windowRounds = kInstallWindowRounds;
    uint32_t windowRoundMs = kInstallWindowRoundMs;
    uint32_t exitSliceMs = kInstallExitSliceMs;
};

// The installer's command line: the quoted package path, a blank, "/C:" and the quoted
// command "setup.exe /oi /noallui /skipdxeula".
XpString InstallerCommandLine(const XpString& packagePath);

// Runs the installer and waits for it: Begun once its first window is visible (or the
// window wait ran out, or the installer has no input queue to wait for), then Done (0,
// exit code) when it has ended, or Done (kInstallFailed, 0) when it could not be started
// (then without Begun) or waited for. Returns 0 when the exit code was read, -1
// otherwise.
int RunInstallStage(const InstallStageContext& context);
