#pragma once
// A fresh GUID as text, in the registry's form: an opening brace, 8, 4, 4, 4 and 12
// upper-case hexadecimal digits separated by hyphens, a closing brace (38 characters).
// Windows: CoCreateGuid and StringFromGUID2.
// Linux: 122 random bits from the kernel (getrandom; /dev/urandom where that call is
// missing) in the version-4 layout: the third group begins with 4, the fourth with one of
// 8, 9, A and B.

#include "platform/XpChar.h"

// False, and out empty, when no GUID could be made.
bool XpPlatformNewGuidString(XpPlatformString& out);
