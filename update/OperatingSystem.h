#pragma once
// The operating system as the update sees it: its version record, the text of its version
// that the update check sends, and the rule of which systems the update supports.

#include "foundation/text/XpString.h"
#include "platform/PlatformVersion.h"

// The system's version record, read now; all 0 when the system does not answer.
XpOsVersion ReadOsVersion();

// "major.minor.build" with the low 16 bits of the build number ("6.1.7601"; on Linux the
// kernel's "6.1.0").
XpString FormatOsVersion(const XpOsVersion& os);

// Whether the update supports the system the record describes.
// Windows: the NT family only; Windows XP with service pack 3 or later; Windows Server
// 2003 and its R2, except the storage and home servers (whose suite mask is exactly theirs)
// and the x64 workstation (Windows XP Professional x64); Windows Vista and 7 as
// workstations, except Vista Starter. Nothing older than XP, nothing newer than 7.
// Linux: kernel 3.17 or later, the first with the getrandom call that the updater's fresh
// identifiers draw on.
bool IsSupportedOperatingSystem(const XpOsVersion& os);

// The same rule over a record read now.
bool IsSupportedOperatingSystem();
