#pragma once
// The administrator's settings of the updater, in the machine registry under
// HKEY_LOCAL_MACHINE\SOFTWARE\Norvale Corporation\Vimbly\Updater (docs/registry.md):
//   "CheckEndpoint"      the update endpoint's whole URL (default: kProductionCheckEndpoint)
//   "TestCheckEndpoint"  the test endpoint's whole URL (default: kTestCheckEndpoint)
//   "TrustedRootsFolder" a folder of further trusted PEM roots for the Linux verifier
// Only string values count. An endpoint that is not an http or https URL is ignored and
// the compiled-in default stays. Nothing is taken unless only administrators can have
// written the machine registry (XpPlatformRegMachineHiveIsProtected): these values decide
// where the elevated updater fetches what it runs and whom it trusts.

#include "foundation/text/XpString.h"

inline constexpr XpChar kUpdaterSettingsKey[] = XP_T("SOFTWARE\\Norvale Corporation\\Vimbly\\Updater\\");

struct UpdaterOverrides {
    XpString checkEndpoint;
    XpString testCheckEndpoint;
    XpString trustedRootsFolder;  // empty: the system's roots alone
};

// Whether the text is an http or https URL (scheme in any case) that names a host.
bool IsWebUrl(const XpString& text);

// The settings with the defaults filled in. keyBase: a key under which the path above is
// looked up instead of under the root (tests); empty for the real key.
UpdaterOverrides ReadUpdaterOverrides(const XpString& keyBase = XpString());
