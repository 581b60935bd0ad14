#pragma once
// What the registry and "Version.txt" say about the installed host product. Every
// helper reads HKEY_LOCAL_MACHINE for reading only and answers an empty string when
// anything is missing; the caller decides what an empty answer means.
//
// No answer is ever built from an empty or relative location: the elevated updater
// would otherwise read "Version.txt" or run "VolumeWatcher.exe" from whatever folder it
// was started in.

#include "foundation/text/XpString.h"

// The host product's branch under HKEY_LOCAL_MACHINE.
inline constexpr XpChar kXpProductKey[] = XP_T("Software\\Norvale Corporation\\Vimbly");

// The first line of "Version.txt" in the folder that the product's "InstalledLocation"
// names, without its line end.
XpString ReadInstalledVersion();
// "CountryOrAreaCode" of the product's "GlobalSettings" sub-key named by its
// "CurrentVersion" value.
XpString ReadCountryOrAreaCode();
// "InstalledLocation" joined with "ExeName", both of the component's sub-key named by
// its "CurrentVersion" value ("VolumeWatcher" for the volume watcher).
XpString GetComponentExePath(const XpString& component);

// The same for a product whose branch is productKey (the predecessor's, or a test's).
XpString ReadInstalledVersion(const XpString& productKey);
XpString ReadCountryOrAreaCode(const XpString& productKey);
XpString GetComponentExePath(const XpString& productKey, const XpString& component);

// The first line of "Version.txt" in folder, read as ANSI text with CR LF folded; empty
// when folder is empty or relative, or the file is missing, a folder or unreadable.
XpString ReadVersionFile(const XpString& folder);
