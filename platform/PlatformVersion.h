#pragma once
// The running program's own path, the version resource of executable files, and the
// version of the operating system.
// Windows: GetModuleFileNameW; GetFileVersionInfoSizeW, GetFileVersionInfoW and
// VerQueryValueW (version.dll); GetVersionExW, GetProductInfo, GetNativeSystemInfo and
// GetSystemMetrics.
// Linux: /proc/self/exe; an own reader of the version block (platform/shared), which takes
// a PE file's version resource or the ELF section in which a Linux executable carries the
// same block; the kernel's release numbers from uname.
//
// Every operation that can fail returns 0 or a Windows error number (PlatformErrors.h).

#include <cstdint>
#include <vector>

#include "platform/XpChar.h"
#include "platform/shared/XpVersionBlock.h"

// The full path of the running executable, whatever the program was started with. A path
// too long for the largest buffer fails (FilenameExcedRange) rather than coming back cut.
uint32_t XpPlatformModulePath(XpPlatformString& path);

// The whole version block of an executable file. No block, an unreadable file or a failed
// read fails; the block is then left empty.
uint32_t XpPlatformReadVersionBlock(const XpChar* path, std::vector<unsigned char>& block);

// Looks up a value in a block that XpPlatformReadVersionBlock gave, as VerQueryValueW does
// ("\\VarFileInfo\\Translation", "\\StringFileInfo\\040904b0\\FileVersion").
bool XpPlatformQueryVersionBlock(const std::vector<unsigned char>& block, const XpChar* subBlock,
                                 XpVersionValue* value);

namespace XpOs {
inline constexpr uint32_t PlatformWin32Nt = 2;  // VER_PLATFORM_WIN32_NT
// The platform number of a Linux record: no Windows release reports it.
inline constexpr uint32_t PlatformLinux = 0x4C696E78;
inline constexpr uint8_t NtWorkstation = 1;              // VER_NT_WORKSTATION
inline constexpr uint8_t NtServer = 3;                   // VER_NT_SERVER
inline constexpr uint32_t ProductStarter = 0x0B;         // PRODUCT_STARTER
inline constexpr uint16_t SuiteStorageServer = 0x2000;   // VER_SUITE_STORAGE_SERVER
inline constexpr uint16_t SuiteHomeServer = 0x8000;      // VER_SUITE_WH_SERVER
inline constexpr uint16_t ArchitectureIntel = 0;         // PROCESSOR_ARCHITECTURE_INTEL
inline constexpr uint16_t ArchitectureAmd64 = 9;         // PROCESSOR_ARCHITECTURE_AMD64
inline constexpr uint16_t ArchitectureArm64 = 12;        // PROCESSOR_ARCHITECTURE_ARM64
inline constexpr uint16_t ArchitectureUnknown = 0xFFFF;  // PROCESSOR_ARCHITECTURE_UNKNOWN
}  // namespace XpOs

// What the system tells about its version: the fields of OSVERSIONINFOEXW and the other
// answers that the supported-system rule weighs. Everything is 0 when the system does not
// answer. On Linux the version numbers are the kernel's (major, minor, patch level), the
// platform is XpOs::PlatformLinux and the Windows-only fields stay 0.
struct XpOsVersion {
    uint32_t platformId = 0;
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 0;
    uint16_t servicePackMajor = 0;
    uint16_t servicePackMinor = 0;
    uint16_t suiteMask = 0;
    uint8_t productType = 0;
    uint32_t productInfo = 0;  // GetProductInfo (major, minor, 0, 0); 0 where there is no such call
    uint16_t nativeArchitecture = 0;
    int32_t serverR2 = 0;  // GetSystemMetrics (SM_SERVERR2)
};

// Fills version from the system; on failure it is left all 0.
uint32_t XpPlatformReadOsVersion(XpOsVersion* version);
