#pragma once
// Text conversion between UTF-16 and the system ANSI code page.
// Windows: MultiByteToWideChar / WideCharToMultiByte with CP_ACP.
// Linux: iconv with the locale's codeset (nl_langinfo(CODESET)); the program sets its
// locale from the environment at start. Characters that the code page cannot hold
// become its replacement character ('?'); invalid input bytes become U+FFFD. Both convert
// by code point: a surrogate pair is one character, an unpaired half none (in a UTF-8
// code page, U+FFFD).

#include <cstdint>

#include "platform/XpChar.h"

// Both behave like the Windows calls: srcLen -1 converts up to and including the
// terminator; dstCount 0 only measures. Result: units written (or needed), 0 on failure
// (the destination too small among others).
int XpPlatformAnsiToWide(const char* src, int srcLen, XpChar* dst, int dstCount);
int XpPlatformWideToAnsi(const XpChar* src, int srcLen, char* dst, int dstCount);

// Number of bytes of the ANSI character that begins with this byte: 1 for a single-byte
// character, 2 for a lead byte of a double-byte code page, 2 to 4 for a UTF-8 lead byte.
int XpPlatformAnsiCharLength(unsigned char firstByte);

// The number of the ANSI code page, as GetACP gives it (1252, 932, 65001 for UTF-8, ...).
// Linux: the number of the Windows code page that matches the locale's codeset; 0 for a
// codeset that has none.
uint32_t XpPlatformAnsiCodePage();
