#include "foundation/registry/SfRegistry.h"

XpResult SfRegistry::Open(const XpString& path, int32_t root, uint32_t access)
{
    if (!m_bImpersonatedHive) return XpRegistry::Open(path, root, access);
    Close();
    // As for XpRegistry: a view flag alone asks for nothing and must not create the key.
    if ((access & (XpRegFlag::Read | XpRegFlag::Write)) == 0) return XpRc::Failure;
    const uint32_t rights = RequestedRights(access, true);
    XpRegKey userHive = kXpRegNoKey;
    if (XpPlatformRegOpenCurrentUser(rights, &userHive) != 0) return XpRc::Failure;
    const XpString previousPath = m_strPath;
    const int32_t previousRoot = m_nRoot;
    const uint32_t previousAccess = m_dwAccess;
    XpResult rc = OpenBelow(userHive, path, root, access, rights);
    if (XpPlatformRegCloseKey(userHive) != 0 && rc == XpRc::Ok) {
        XpPlatformRegCloseKey(m_hKey);
        m_hKey = kXpRegNoKey;
        m_strPath = previousPath;
        m_nRoot = previousRoot;
        m_dwAccess = previousAccess;
        rc = XpRc::Failure;
    }
    return rc;
}
