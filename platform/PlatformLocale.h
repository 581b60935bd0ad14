#pragma once
// The user's locale as Windows numbers it: locale identifiers (LCID) and language
// identifiers (LANGID), the numbers that the update's language table is keyed by.
// Windows: GetUserDefaultLCID, GetUserDefaultUILanguage and GetUserDefaultLangID.
// Linux: the locale names of the environment (docs/identity.md), each mapped to the
// identifier of its language and territory (platform/shared/XpLocaleName.h); a name
// without an identifier ("C", "POSIX", an unknown language) gives 0, which names no
// language.

#include <cstdint>

// The user's default locale (the one of formats). Linux: LC_ALL, else LANG.
uint32_t XpPlatformUserDefaultLocale();
// The language of the user interface. Linux: the first entry of LANGUAGE that names a
// known language (unless the messages locale is "C" or "POSIX", which turns LANGUAGE off),
// else LC_ALL, else LC_MESSAGES, else LANG.
uint32_t XpPlatformUserDefaultUiLanguage();
// The language of the user's default locale, without its sort order (the low 16 bits).
uint32_t XpPlatformUserDefaultLanguage();
