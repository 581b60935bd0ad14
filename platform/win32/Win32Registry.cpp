// The registry on Windows: advapi32 directly.

#include <windows.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformRegistry.h"

namespace {

static_assert(XpRegAccess::Read == KEY_READ && XpRegAccess::Write == KEY_WRITE &&
              XpRegAccess::View64 == KEY_WOW64_64KEY && XpRegAccess::View32 == KEY_WOW64_32KEY);

HKEY Handle(XpRegKey key)
{
    return reinterpret_cast<HKEY>(key);
}

// Removes every key below key, deepest first. RegDeleteTreeW would do it, but it is
// missing before Windows Vista.
LONG DeleteChildren(HKEY key)
{
    for (;;) {
        WCHAR name[256];
        DWORD length = 256;
        LONG rc = RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS) return rc;
        HKEY child = nullptr;
        rc = RegOpenKeyExW(key, name, 0, KEY_READ | DELETE, &child);
        if (rc != ERROR_SUCCESS) return rc;
        rc = DeleteChildren(child);
        RegCloseKey(child);
        if (rc == ERROR_SUCCESS) rc = RegDeleteKeyW(key, name);
        if (rc != ERROR_SUCCESS) return rc;
    }
}

}  // namespace

uint32_t XpPlatformRegOpenKey(XpRegKey parent, const XpChar* path, uint32_t access, XpRegKey* key)
{
    if (key == nullptr) return ERROR_INVALID_PARAMETER;
    HKEY opened = nullptr;
    const LONG rc = RegOpenKeyExW(Handle(parent), path, 0, access, &opened);
    *key = rc == ERROR_SUCCESS ? reinterpret_cast<XpRegKey>(opened) : kXpRegNoKey;
    return static_cast<uint32_t>(rc);
}

uint32_t XpPlatformRegCreateKey(XpRegKey parent, const XpChar* path, uint32_t access, XpRegKey* key)
{
    if (key == nullptr) return ERROR_INVALID_PARAMETER;
    HKEY opened = nullptr;
    const LONG rc = RegCreateKeyExW(Handle(parent), path != nullptr ? path : L"", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    access, nullptr, &opened, nullptr);
    *key = rc == ERROR_SUCCESS ? reinterpret_cast<XpRegKey>(opened) : kXpRegNoKey;
    return static_cast<uint32_t>(rc);
}

uint32_t XpPlatformRegOpenCurrentUser(uint32_t access, XpRegKey* key)
{
    if (key == nullptr) return ERROR_INVALID_PARAMETER;
    HKEY opened = nullptr;
    const LONG rc = RegOpenCurrentUser(access, &opened);
    *key = rc == ERROR_SUCCESS ? reinterpret_cast<XpRegKey>(opened) : kXpRegNoKey;
    return static_cast<uint32_t>(rc);
}

uint32_t XpPlatformRegCloseKey(XpRegKey key)
{
    return static_cast<uint32_t>(RegCloseKey(Handle(key)));
}

uint32_t XpPlatformRegQueryValue(XpRegKey key, const XpChar* name, uint32_t* type, void* data, uint32_t* size)
{
    DWORD valueType = 0;
    DWORD valueSize = size != nullptr ? *size : 0;
    const LONG rc = RegQueryValueExW(Handle(key), name, nullptr, type != nullptr ? &valueType : nullptr,
                                     static_cast<BYTE*>(data), size != nullptr ? &valueSize : nullptr);
    if (type != nullptr && (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)) *type = valueType;
    if (size != nullptr && (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)) *size = valueSize;
    return static_cast<uint32_t>(rc);
}

uint32_t XpPlatformRegSetValue(XpRegKey key, const XpChar* name, uint32_t type, const void* data, uint32_t size)
{
    return static_cast<uint32_t>(RegSetValueExW(Handle(key), name, 0, type, static_cast<const BYTE*>(data), size));
}

uint32_t XpPlatformRegDeleteValue(XpRegKey key, const XpChar* name)
{
    return static_cast<uint32_t>(RegDeleteValueW(Handle(key), name));
}

uint32_t XpPlatformRegDeleteTree(XpRegKey parent, const XpChar* path)
{
    HKEY key = nullptr;
    const bool itself = path == nullptr || path[0] == 0;
    LONG rc = RegOpenKeyExW(Handle(parent), itself ? nullptr : path, 0, KEY_READ | KEY_SET_VALUE | DELETE, &key);
    if (rc != ERROR_SUCCESS) return static_cast<uint32_t>(rc);
    rc = DeleteChildren(key);
    if (rc == ERROR_SUCCESS && itself) {
        // The key stays; its values go.
        for (;;) {
            WCHAR name[16384];
            DWORD length = 16384;
            const LONG next = RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (next == ERROR_NO_MORE_ITEMS) break;
            if (next == ERROR_SUCCESS) rc = RegDeleteValueW(key, name);
            if (next != ERROR_SUCCESS || rc != ERROR_SUCCESS) {
                rc = next != ERROR_SUCCESS ? next : rc;
                break;
            }
        }
    }
    RegCloseKey(key);
    if (rc == ERROR_SUCCESS && !itself) rc = RegDeleteKeyW(Handle(parent), path);
    return static_cast<uint32_t>(rc);
}

void XpPlatformRegForgetCachedHives() {}

bool XpPlatformRegMachineHiveIsProtected()
{
    // HKEY_LOCAL_MACHINE\SOFTWARE is writable by administrators and the system only.
    return true;
}
