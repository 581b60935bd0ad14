#pragma once
// Whether the host product (or the maker's sibling viewer) is running, told by the named
// mutexes that they hold while they run. The dialog shows a notice when it is.

#include "platform/XpChar.h"

inline constexpr XpChar kHostInstallerMutexName[] = XP_T("Global\\NorvaleVimblyInstallerMutex");
inline constexpr XpChar kSiblingViewerMutexName[] = XP_T("Global\\NorvaleBriscaViewerMutex");

// True when the first mutex exists, else when the second does. Only looks: neither mutex
// is created or owned by the probe.
bool ProbeHostProductRunning();
