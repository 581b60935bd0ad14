#include "update/OperatingSystem.h"

namespace {

// The oldest kernel the Linux build runs on (getrandom arrived with 3.17).
constexpr uint32_t kLinuxMajor = 3;
constexpr uint32_t kLinuxMinor = 17;

bool IsSupportedLinux(const XpOsVersion& os)
{
    return os.majorVersion > kLinuxMajor || (os.majorVersion == kLinuxMajor && os.minorVersion >= kLinuxMinor);
}

bool IsSupportedWindows(const XpOsVersion& os)
{
    if (os.platformId != XpOs::PlatformWin32Nt || os.majorVersion <= 4) return false;
    const bool workstation = os.productType == XpOs::NtWorkstation;
    if (os.majorVersion == 6) {
        if (os.minorVersion == 0) return workstation && os.productInfo != XpOs::ProductStarter;  // Vista
        if (os.minorVersion == 1) return workstation;                                            // 7
        return false;                                                                            // 8 and later
    }
    if (os.majorVersion > 6) return false;
    // Major 5.
    if (os.minorVersion == 0) return false;                     // 2000
    if (os.minorVersion == 1) return os.servicePackMajor >= 3;  // XP
    if (os.minorVersion > 2) return false;                      // no such release
    if (os.serverR2 != 0) return true;                          // Server 2003 R2
    // The whole mask, not a bit: a storage or home server with other suites is accepted.
    if (os.suiteMask == XpOs::SuiteStorageServer || os.suiteMask == XpOs::SuiteHomeServer) return false;
    return !(workstation && os.nativeArchitecture == XpOs::ArchitectureAmd64);  // XP Professional x64
}

}  // namespace

XpOsVersion ReadOsVersion()
{
    XpOsVersion os;
    XpPlatformReadOsVersion(&os);  // a failure leaves the record all 0, which nothing supports
    return os;
}

XpString FormatOsVersion(const XpOsVersion& os)
{
    XpString text;
    text.Format(XP_T("%u.%u.%u"), os.majorVersion, os.minorVersion, os.buildNumber & 0xFFFFu);
    return text;
}

bool IsSupportedOperatingSystem(const XpOsVersion& os)
{
    if (os.platformId == XpOs::PlatformLinux) return IsSupportedLinux(os);
    return IsSupportedWindows(os);
}

bool IsSupportedOperatingSystem()
{
    return IsSupportedOperatingSystem(ReadOsVersion());
}
