// The operating-system version on Windows: GetVersionExW with the extended record (service
// pack, suite mask, product type), GetProductInfo, the native processor architecture and
// the Server 2003 R2 metric. GetProductInfo and GetNativeSystemInfo are looked up at run
// time, so that their absence on older systems costs only their answers.

#include <windows.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformVersion.h"

namespace {

using GetProductInfoFn = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, PDWORD);
using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);

template <typename Function>
Function Kernel32(const char* name)
{
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(kernel32, name)));
}

}  // namespace

uint32_t XpPlatformReadOsVersion(XpOsVersion* version)
{
    if (version == nullptr) return XpWinError::InvalidParameter;
    *version = XpOsVersion();
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) {
        const DWORD error = GetLastError();
        return error != 0 ? error : XpWinError::GenFailure;
    }
    version->platformId = info.dwPlatformId;
    version->majorVersion = info.dwMajorVersion;
    version->minorVersion = info.dwMinorVersion;
    version->buildNumber = info.dwBuildNumber;
    version->servicePackMajor = info.wServicePackMajor;
    version->servicePackMinor = info.wServicePackMinor;
    version->suiteMask = info.wSuiteMask;
    version->productType = info.wProductType;

    if (const auto getProductInfo = Kernel32<GetProductInfoFn>("GetProductInfo")) {
        DWORD product = 0;
        if (getProductInfo(info.dwMajorVersion, info.dwMinorVersion, 0, 0, &product)) version->productInfo = product;
    }
    SYSTEM_INFO system{};
    if (const auto getNativeSystemInfo = Kernel32<GetNativeSystemInfoFn>("GetNativeSystemInfo")) {
        getNativeSystemInfo(&system);
    } else {
        GetSystemInfo(&system);
    }
    version->nativeArchitecture = system.wProcessorArchitecture;
    version->serverR2 = GetSystemMetrics(SM_SERVERR2);
    return XpWinError::Success;
}
