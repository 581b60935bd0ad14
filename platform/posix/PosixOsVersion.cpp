// The operating-system version on Linux: the kernel's release numbers and the machine's
// architecture from uname, in the record that Windows fills from GetVersionExW.

#include <errno.h>
#include <sys/utsname.h>

#include <cstring>

#include "platform/PlatformErrors.h"
#include "platform/PlatformVersion.h"
#include "platform/posix/PosixCommon.h"
#include "platform/shared/XpKernelRelease.h"

namespace {

uint16_t Architecture(const char* machine)
{
    if (std::strcmp(machine, "x86_64") == 0) return XpOs::ArchitectureAmd64;
    if (std::strcmp(machine, "aarch64") == 0) return XpOs::ArchitectureArm64;
    if (std::strlen(machine) == 4 && machine[0] == 'i' && std::strcmp(machine + 2, "86") == 0) {
        return XpOs::ArchitectureIntel;  // i386 to i686
    }
    return XpOs::ArchitectureUnknown;
}

}  // namespace

uint32_t XpPlatformReadOsVersion(XpOsVersion* version)
{
    if (version == nullptr) return XpWinError::InvalidParameter;
    *version = XpOsVersion();
    struct utsname names {};
    if (uname(&names) != 0) return XpPosixWinError(errno);
    XpKernelRelease release;
    if (!XpParseKernelRelease(names.release, &release)) return XpWinError::NotSupported;
    version->platformId = XpOs::PlatformLinux;
    version->majorVersion = release.major;
    version->minorVersion = release.minor;
    version->buildNumber = release.patch;
    version->nativeArchitecture = Architecture(names.machine);
    return XpWinError::Success;
}
