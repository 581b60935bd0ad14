#pragma once
// VolumeWatcherControl: the host product's resident volume watcher. The pre-check asks
// running watchers to exit so that the installer can replace their files; after the
// dialog the application starts the watcher again, as the desktop user.

#include <cstdint>

#include "foundation/registry/XpProductInfo.h"
#include "foundation/text/XpString.h"

// The component under which the host product registers the watcher.
inline constexpr XpChar kVolumeWatcherComponent[] = XP_T("VolumeWatcher");
// How long the " /exitall" run may take before CloseAll gives up on it. The watcher is
// the host product's program: one that never ends would otherwise hold the pre-check,
// and with it the closing of the dialog, for ever.
inline constexpr uint32_t kExitAllLimitMs = 120000;
// How long the watchers get to end after a successful " /exitall" run.
inline constexpr uint32_t kWatcherSettleMs = 5000;

class VolumeWatcherControl {
public:
    // Locates the watcher registered under the product's branch (a test's own branch in
    // tests).
    explicit VolumeWatcherControl(const XpString& productKey = XpString(kXpProductKey));

    // Finds the watcher's executable; false, with both members empty, when it is not
    // registered or not a file.
    bool Locate();
    // Whether a process with the watcher's executable file name runs (exact letter case).
    bool IsRunning() const;
    // Asks running watchers to exit (" /exitall" as the desktop user) and gives them time
    // to end. True when none ran or the run answered success; false when the watcher is
    // not found, or the run failed, answered anything else or outlasted
    // m_dwExitAllLimit.
    bool CloseAll();
    // Starts the watcher as the desktop user unless one runs. True when one ran, or the
    // start answered success at once (a watcher that keeps running answers 259: false).
    bool Restart();

    XpString m_strPath;
    XpString m_strExeName;
    uint32_t m_dwExitAllLimit = kExitAllLimitMs;
    uint32_t m_dwSettleTime = kWatcherSettleMs;

private:
    XpString m_strProductKey;
};

// Exit codes of a watcher run that count as success: 0, 3010 (restart required) and
// 0x20000001.
bool IsWatcherSuccess(uint32_t code);
