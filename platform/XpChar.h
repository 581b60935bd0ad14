#pragma once
// The one character type of the system: a UTF-16 code unit on both targets.
// Windows' wchar_t is 16 bits; on Linux wchar_t is 32 bits, so char16_t stands in for it.
// XP_T("text") makes a literal of that type.

#include <string>

#if defined(_WIN32)
using XpChar = wchar_t;
#define XP_T(s) L##s
#else
using XpChar = char16_t;
#define XP_T(s) u##s
#endif

static_assert(sizeof(XpChar) == 2, "XpChar must be a 16-bit code unit");

// The plain standard string of XpChar, used where the platform layer hands texts up.
using XpPlatformString = std::basic_string<XpChar>;
