#pragma once
// XpRegistry: one registry key, opened under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER,
// and its value readers. Key paths are written with "/" between names; each "/" becomes
// "\" in the copy handed to the registry, while the object keeps the caller's form so
// that sub-key paths are joined with "/". Every failure is 0x8000 from Open and Close,
// or an empty string, 0 or false from the readers: no system error is passed on.
//
// Not shared between threads: each caller builds, uses and deletes its own keys.

#include <cstdint>
#include <vector>

#include "foundation/XpResult.h"
#include "foundation/text/XpString.h"
#include "platform/PlatformRegistry.h"

// Access flags of Open.
namespace XpRegFlag {
inline constexpr uint32_t Read = 0x1;
inline constexpr uint32_t Write = 0x2;   // opens with creation of missing keys
inline constexpr uint32_t View64 = 0x4;  // the 64-bit registry view (Windows XP and later)
inline constexpr uint32_t View32 = 0x8;  // the 32-bit registry view (Windows XP and later)
}  // namespace XpRegFlag

// Roots of Open: 1 is HKEY_LOCAL_MACHINE, any other value HKEY_CURRENT_USER.
inline constexpr int32_t kXpRegMachineRoot = 1;
inline constexpr int32_t kXpRegUserRoot = 0;

class XpRegistry {
public:
    XpRegistry() = default;
    virtual ~XpRegistry();
    XpRegistry(const XpRegistry&) = delete;
    XpRegistry& operator=(const XpRegistry&) = delete;

    // Closes first (an open object is re-opened), then opens the key at path, creating
    // it and the keys above it when the flags ask for writing. Flags without Read or
    // Write fail without touching the registry, a view flag alone included. The view
    // flags count only on Windows XP and later; elsewhere they are dropped silently.
    virtual XpResult Open(const XpString& path, int32_t root, uint32_t access);
    // 0x8000 when nothing is open, or when the key cannot be closed (it stays open).
    virtual XpResult Close();

    // A REG_SZ value's text; empty when the value is missing, of another type (REG_EXPAND_SZ
    // included) or unreadable. A value stored without its terminator still reads whole; a
    // value that grows between the size query and the read reads as empty.
    XpString GetStringValue(const XpString& name) const;
    // A REG_DWORD value; 0 when missing, of another type or unreadable. A value of 1 to 3
    // bytes reads with its missing high bytes 0.
    uint32_t GetDWORDValue(const XpString& name) const;
    // True when the value exists with at least one byte.
    bool HasValue(const XpString& name) const;
    // The value's type and bytes as stored, whatever the type; false when it cannot be
    // read. For readers with rules of their own (numbers of any type, strings of either
    // string type).
    bool GetRawValue(const XpString& name, uint32_t* type, std::vector<uint8_t>* data) const;

    bool IsOpen() const { return m_hKey != kXpRegNoKey; }
    const XpString& GetPath() const { return m_strPath; }
    int32_t GetRoot() const { return m_nRoot; }
    uint32_t GetAccess() const { return m_dwAccess; }

protected:
    // The rights that the flags ask for: KEY_READ for Read, KEY_WRITE added for Write,
    // the view rights for the view flags when withViews is set.
    static uint32_t RequestedRights(uint32_t access, bool withViews);
    // Opens (read only) or creates (anything with Write) path below parent, storing the
    // key, the path as given, the root and the flags on success.
    XpResult OpenBelow(XpRegKey parent, const XpString& path, int32_t root, uint32_t access, uint32_t rights);

    XpRegKey m_hKey = kXpRegNoKey;
    XpString m_strPath;
    int32_t m_nRoot = 0;
    uint32_t m_dwAccess = XpRegFlag::Read;
};

// False when key is null or the value is missing (or has no bytes); otherwise *value
// gets GetDWORDValue of the name.
bool QueryDWORD(const XpRegistry* key, const XpString& name, uint32_t* value);
// The key parent path + "/" + name, opened for reading under the parent's root; null
// when the parent is null or closed, or the key cannot be opened. The caller deletes it.
XpRegistry* OpenSubKey(const XpRegistry* parent, const XpString& name);
// The key at path under HKEY_LOCAL_MACHINE, opened for reading; null on failure. The
// caller deletes it.
XpRegistry* OpenMachineKey(const XpString& path);
// The system's version numbers, from its one version record (XpPlatformReadOsVersion):
// every output starts at 0; the platform is stored only when it is 1 or 2 (never on
// Linux). minor and major may be null.
XpResult GetOSVersion(uint32_t* minor, uint32_t* platform, uint32_t* major);
