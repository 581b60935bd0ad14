#pragma once
// What the updater knows about the machine and the installed host product before it asks
// for an update: its own version, the system's version record, the language and country
// codes, the installed version and the test flags. Everything comes from the registry
// (opened for reading, in the default view, each key closed again after its read),
// "Version.txt" and the program's own version resource; nothing fails loudly, a missing
// piece gives its default (0, empty, "XXX" or "US").
//
// Each reader has a form that takes keyBase, a key under which the registry paths below
// are looked up instead of under the roots themselves ("Software\\Test\\" makes
// "Software\\Test\\SOFTWARE\\Norvale Corporation\\Vimbly\\"); the plain forms read the
// real keys.

#include <cstdint>

#include "foundation/text/XpString.h"
#include "platform/PlatformVersion.h"

// The identity as the application object keeps it for the whole run.
struct ClientIdentity {
    XpString m_strUpdaterVersion;    // "FileVersion" of the running program's own file
    XpOsVersion m_osVersionInfo;     // the system's version record
    XpString m_strLanguage;          // one of the language table's codes
    XpString m_strCountry;           // never empty: "XXX" when unknown
    XpString m_strInstalledVersion;  // empty when the host product is not installed
    uint32_t m_dwTestFlags = 0;      // "TestFlag" of the user's settings, 0 when missing
};

// Fills every member, in the order in which the application object is constructed:
// updater version, system version, language, country, installed version, test flags.
void FillClientIdentity(ClientIdentity* identity);
void FillClientIdentity(ClientIdentity* identity, const XpString& keyBase);

// "TestFlag": up to 4 bytes of any type as a little-endian number; 0 when the key or
// value is missing or longer.
uint32_t ReadTestFlags();
uint32_t ReadTestFlags(const XpString& keyBase);

// "TestClientVersion" of the user's settings; empty when missing or not a string value.
// The update check reads it once and keeps it.
XpString ReadTestClientVersion();
XpString ReadTestClientVersion(const XpString& keyBase);

// The first line of Vimbly's "Version.txt", else of Tessaro's; empty when neither reads
// (the host product counts as not installed). An empty or relative "InstalledLocation"
// names no file.
XpString DetermineInstalledVersion();
XpString DetermineInstalledVersion(const XpString& keyBase);

// Vimbly's country code for its current version when not empty, else Tessaro's when it
// reads and is not empty, else "XXX".
XpString DetermineCountryCode();
XpString DetermineCountryCode(const XpString& keyBase);

// The table's code for the installed language of Vimbly, else of Tessaro, else of the
// user's default locale, user-interface language and language in that order, else "US".
XpString DetermineLanguageCode();
XpString DetermineLanguageCode(const XpString& keyBase);

// The "FileVersion" of the running program, found through the system's own record of
// its path (never the argument vector, which the starting program chooses); empty when
// the path cannot be had whole or the file has no version resource.
XpString DetermineUpdaterVersion();
