#include <windows.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformNamedMutex.h"

uint32_t XpPlatformCreateNamedMutex(const XpChar* name, intptr_t* handle, bool* existed)
{
    *handle = 0;
    *existed = false;
    if (name == nullptr || name[0] == 0) return XpWinError::InvalidParameter;
    // A null DACL: every user, elevated or not, may open it.
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return GetLastError();
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) return GetLastError();
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), &descriptor, FALSE};
    HANDLE mutex = CreateMutexW(&attributes, TRUE, name);
    const DWORD error = GetLastError();
    if (mutex == nullptr) return error != 0 ? error : XpWinError::InvalidHandle;
    *existed = error == ERROR_ALREADY_EXISTS;
    *handle = reinterpret_cast<intptr_t>(mutex);
    return XpWinError::Success;
}

void XpPlatformCloseNamedMutex(intptr_t handle)
{
    if (handle != 0) CloseHandle(reinterpret_cast<HANDLE>(handle));
}

uint32_t XpPlatformNamedMutexExists(const XpChar* name, bool* exists)
{
    *exists = true;
    if (name == nullptr || name[0] == 0) return XpWinError::InvalidParameter;
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, name);
    if (mutex != nullptr) {
        CloseHandle(mutex);
        return XpWinError::Success;
    }
    const DWORD error = GetLastError();
    // Only a name that is nowhere is free; anything else (access denied, another kind of
    // object of that name) is someone's.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        *exists = false;
        return XpWinError::Success;
    }
    return error == ERROR_ACCESS_DENIED ? XpWinError::Success : error;
}
