#pragma once
// The SHA-1 text hash of the update check.

#include "foundation/text/XpString.h"

// The SHA-1 digest of the text's bytes in the ANSI code page, as 40 lower-case
// hexadecimal digits in digest order. Empty when the digest cannot be made.
XpString Sha1Hex(const XpString& text);
