#include "foundation/registry/XpGuid.h"

#include "platform/PlatformGuid.h"

XpString NewGuidString()
{
    XpPlatformString text;
    if (!XpPlatformNewGuidString(text)) return XpString();
    return XpString(text.c_str(), static_cast<int32_t>(text.size()));
}
