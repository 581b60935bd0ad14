#pragma once
// The Windows locale identifier (LCID) of a POSIX locale name, so that the Linux build
// finds the user's language in the same tables as Windows.

#include <cstdint>

// The identifier of "language[_territory][.codeset][@modifier]" ("ja_JP.UTF-8" gives
// 1041, "pt_BR" 1046, "de" 1031). The codeset and modifier do not count; the territory
// may also follow a "-" ("en-GB"). A territory that the table lacks gives the language's
// main identifier. "C", "POSIX", an empty or null name, and languages that the table
// lacks give 0.
uint32_t XpLocaleIdFromName(const char* name);
