#pragma once
// SfRegistry: the product's registry key. With the impersonated-hive flag set, every key
// opens below the current user's own hive (RegOpenCurrentUser), whatever root Open is
// given: the hive of the user that the thread acts for, which HKEY_CURRENT_USER of the
// process need not be. Without the flag it is an XpRegistry.

#include "foundation/registry/XpRegistry.h"

class SfRegistry : public XpRegistry {
public:
    explicit SfRegistry(bool impersonatedHive = false) : m_bImpersonatedHive(impersonatedHive) {}

    // With the flag: the view flags count on every system; the open succeeds only when
    // the key opened and the user's hive closed again without error.
    XpResult Open(const XpString& path, int32_t root, uint32_t access) override;

    bool IsImpersonatedHive() const { return m_bImpersonatedHive; }

private:
    bool m_bImpersonatedHive;
};
