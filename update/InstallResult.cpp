#include "update/InstallResult.h"

#include "platform/PlatformRegistry.h"

uint32_t ReadInstallResult(const XpString& productKey)
{
    XpRegKey key = kXpRegNoKey;
    if (XpPlatformRegOpenKey(XpRegRoot::LocalMachine, productKey.GetString(), XpRegAccess::Read, &key) != 0)
        return kInstallResultAbsent;
    uint8_t bytes[4] = {0, 0, 0, 0};
    uint32_t size = sizeof bytes;
    const uint32_t error = XpPlatformRegQueryValue(key, XP_T("InstallResult"), nullptr, bytes, &size);
    XpPlatformRegCloseKey(key);
    // Longer data does not fit (and leaves the buffer undefined); no data is no number.
    if (error != 0 || size == 0 || size > sizeof bytes) return kInstallResultAbsent;
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
