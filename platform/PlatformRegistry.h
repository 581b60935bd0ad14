#pragma once
// The registry: keys under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER, their values.
// Windows: advapi32 (RegOpenKeyExW, RegCreateKeyExW, RegQueryValueExW, ...), with the
// registry views that the access rights name.
// Linux: one hive file per root in the regedit export format (docs/registry.md): the
// machine hive for HKEY_LOCAL_MACHINE, the user's hive for HKEY_CURRENT_USER, in the
// folder that NORVALE_REGISTRY_DIR names. Key paths and value names compare without
// regard to case; every value keeps its type and bytes exactly. A change rewrites the
// hive atomically under an advisory lock. A hive that does not parse reads as empty and
// is never rewritten: every change to it fails with BadDb. There is one registry view;
// the view rights are accepted and ignored.
//
// The calls behave as the Windows calls of the same name and report failures as
// Windows error numbers (PlatformErrors.h) on both targets.

#include <cstdint>

#include "platform/XpChar.h"

// An open key, or one of the two roots. Handles are closed with XpPlatformRegCloseKey.
using XpRegKey = std::intptr_t;
inline constexpr XpRegKey kXpRegNoKey = 0;

namespace XpRegRoot {
inline constexpr XpRegKey CurrentUser = static_cast<XpRegKey>(static_cast<int32_t>(0x80000001));
inline constexpr XpRegKey LocalMachine = static_cast<XpRegKey>(static_cast<int32_t>(0x80000002));
}  // namespace XpRegRoot

// Access rights of the Windows registry.
namespace XpRegAccess {
inline constexpr uint32_t QueryValue = 0x0001;
inline constexpr uint32_t SetValue = 0x0002;
inline constexpr uint32_t CreateSubKey = 0x0004;
inline constexpr uint32_t Read = 0x20019;   // KEY_READ
inline constexpr uint32_t Write = 0x20006;  // KEY_WRITE
inline constexpr uint32_t View64 = 0x0100;  // KEY_WOW64_64KEY
inline constexpr uint32_t View32 = 0x0200;  // KEY_WOW64_32KEY
}  // namespace XpRegAccess

// Value types.
namespace XpRegType {
inline constexpr uint32_t None = 0;
inline constexpr uint32_t Sz = 1;
inline constexpr uint32_t ExpandSz = 2;
inline constexpr uint32_t Binary = 3;
inline constexpr uint32_t Dword = 4;
inline constexpr uint32_t MultiSz = 7;
inline constexpr uint32_t Qword = 11;
}  // namespace XpRegType

// RegOpenKeyExW: an existing key below parent (a root or an open key); path null or
// empty opens parent itself. Runs of separators count as one, trailing ones are ignored,
// a leading one fails with BadPathname. A missing key: FileNotFound.
uint32_t XpPlatformRegOpenKey(XpRegKey parent, const XpChar* path, uint32_t access, XpRegKey* key);
// RegCreateKeyExW (non-volatile, no class): opens the key, creating it and every missing
// key above it.
uint32_t XpPlatformRegCreateKey(XpRegKey parent, const XpChar* path, uint32_t access, XpRegKey* key);
// RegOpenCurrentUser: the root of the current user's hive as a key of its own.
uint32_t XpPlatformRegOpenCurrentUser(uint32_t access, XpRegKey* key);
uint32_t XpPlatformRegCloseKey(XpRegKey key);
// RegQueryValueExW: name null or empty is the default value; type, data and size may
// each be null, but data needs size. When data is null *size gets the value's size;
// otherwise *size is the buffer's size on the way in and the bytes written on the way
// out, and a buffer too small fails with MoreData and *size set to the size needed.
uint32_t XpPlatformRegQueryValue(XpRegKey key, const XpChar* name, uint32_t* type, void* data, uint32_t* size);
// RegSetValueExW: the bytes are stored as given, whatever the type says.
uint32_t XpPlatformRegSetValue(XpRegKey key, const XpChar* name, uint32_t type, const void* data, uint32_t size);
uint32_t XpPlatformRegDeleteValue(XpRegKey key, const XpChar* name);
// Removes the key below parent with everything below it (an empty path: everything
// below parent, and parent's values). The update never writes the registry; tests and
// tools clean up with this.
uint32_t XpPlatformRegDeleteTree(XpRegKey parent, const XpChar* path);

// Linux keeps each hive it read in memory for as long as the file stays the same; this
// drops them, so that the next read reads the file again (benchmarks measure a first
// read with it). Windows: nothing to drop.
void XpPlatformRegForgetCachedHives();

// Whether the values of HKEY_LOCAL_MACHINE can only have been written by an
// administrator, so that settings which change what the elevated updater trusts may be
// taken from it. Windows: always (the system lets only administrators write there).
// Linux: the machine hive's folder, every folder above it and the hive file itself (when
// it exists) belong to root or to the effective user, and neither group nor others may
// write them; a folder that others may write counts only with its sticky bit (as /tmp),
// where nobody can rename or remove what another user made. A missing folder: false.
bool XpPlatformRegMachineHiveIsProtected();
