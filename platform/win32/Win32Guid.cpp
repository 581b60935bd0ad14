// GUIDs on Windows: CoCreateGuid and its registry text form.

#include <windows.h>
//
#include <objbase.h>

#include "platform/PlatformGuid.h"

bool XpPlatformNewGuidString(XpPlatformString& out)
{
    out.clear();
    GUID guid{};
    // A failed creation would leave a GUID of zeros, which is no fresh identifier.
    if (FAILED(CoCreateGuid(&guid))) return false;
    WCHAR text[64] = {};
    if (StringFromGUID2(guid, text, 64) == 0) return false;
    out = text;
    return true;
}
