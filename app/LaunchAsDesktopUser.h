#pragma once
// Starting a program as the logged-on desktop user, for the host product's resident
// volume watcher: the updater runs elevated, the watcher must not.

#include <cstdint>

#include "foundation/text/XpString.h"
#include "platform/PlatformSync.h"

// The answer when no process could be started.
inline constexpr uint32_t kLaunchFailed = 31;

// Starts path with the command line (may be null) as the desktop user, falling back to
// the updater's own identity (PlatformProcess.h), and answers the exit code read after
// the wait: without limit when wait is set, not at all otherwise (a program that still
// runs answers 259). waitLimit bounds a wait that should not last for ever; a program
// still running then answers 259 as well. kLaunchFailed when nothing started.
uint32_t LaunchAsDesktopUser(const XpString& path, const XpChar* commandLine, bool wait,
                             uint32_t waitLimit = XpInfiniteWait);
