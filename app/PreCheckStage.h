#pragma once
// The pre-check stage's procedure, written against a small seam so that it does not
// depend on the dialog or the application object: PreCheckThreadProc fills a
// PreCheckContext from them and posts to the dialog's window. Tests give it their own
// checks and a recorder.

#include <cstdint>
#include <functional>

#include "foundation/text/XpString.h"

class VolumeWatcherControl;

struct PreCheckContext {
    std::function<bool()> isSupportedSystem;  // IsSupportedOperatingSystem
    std::function<bool()> isAdministrator;    // XpPlatformIsUserAnAdmin
    XpString installedVersion;                // m_strInstalledVersion; empty: not installed
    std::function<bool()> ensureWorkDirectory;
    VolumeWatcherControl* watcher = nullptr;  // m_volumeWatcher; null: none to close
    bool* downloadComplete = nullptr;         // m_bDownloadComplete, set when all checks pass
    std::function<bool()> aborted;            // the abort flag, read at each checkpoint
    // Posts one stage message (WM_STAGE_FAILED, WM_PRECHECK_DONE) with its parameters.
    std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)> post;
};

// The checks in their order, each refusal posted as WM_STAGE_FAILED with its result code,
// then the watcher closed and WM_PRECHECK_DONE. Returns 0 after success or an abort, -1
// after a refusal.
int RunPreCheck(const PreCheckContext& context);
