// The temporary folder, the running executable and the special folders on Windows.

#include <windows.h>
//
#include <objbase.h>
#include <shlobj.h>

#include "platform/PlatformFolders.h"

namespace {

constexpr DWORD kPathBufferLength = 1040;

struct FolderEntry {
    int kind;
    int csidl;
};

constexpr FolderEntry kFolders[] = {
    {XpSpecialFolder::Pictures, CSIDL_MYPICTURES},
    {XpSpecialFolder::Videos, CSIDL_MYVIDEO},
    {XpSpecialFolder::Music, CSIDL_MYMUSIC},
    {XpSpecialFolder::Documents, CSIDL_PERSONAL},
    {XpSpecialFolder::Desktop, CSIDL_DESKTOP},
    {XpSpecialFolder::CommonPictures, CSIDL_COMMON_PICTURES},
    {XpSpecialFolder::CommonVideos, CSIDL_COMMON_VIDEO},
    {XpSpecialFolder::CommonMusic, CSIDL_COMMON_MUSIC},
    {XpSpecialFolder::CommonDocuments, CSIDL_COMMON_DOCUMENTS},
    {XpSpecialFolder::CommonDesktop, CSIDL_COMMON_DESKTOPDIRECTORY},
    {XpSpecialFolder::AppData, CSIDL_APPDATA},
    {XpSpecialFolder::Profile, CSIDL_PROFILE},
    {XpSpecialFolder::CommonAppData, CSIDL_COMMON_APPDATA},
};

static_assert(CSIDL_MYPICTURES == 39 && CSIDL_MYVIDEO == 14 && CSIDL_MYMUSIC == 13 && CSIDL_PERSONAL == 5 &&
              CSIDL_DESKTOP == 0 && CSIDL_COMMON_PICTURES == 54 && CSIDL_COMMON_VIDEO == 55 &&
              CSIDL_COMMON_MUSIC == 53 && CSIDL_COMMON_DOCUMENTS == 46 && CSIDL_COMMON_DESKTOPDIRECTORY == 25 &&
              CSIDL_APPDATA == 26 && CSIDL_PROFILE == 40 && CSIDL_COMMON_APPDATA == 35);

// The folder through its item list; the list is freed with the shell's allocator.
bool FromLocation(int csidl, XpPlatformString& out)
{
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHGetFolderLocation(nullptr, csidl, nullptr, 0, &list)) || list == nullptr) return false;
    WCHAR buffer[kPathBufferLength] = {};
    const bool found = SHGetPathFromIDListW(list, buffer) != FALSE;
    CoTaskMemFree(list);
    if (!found) return false;
    out = buffer;
    return true;
}

bool FromFolderPath(int csidl, DWORD type, XpPlatformString& out)
{
    WCHAR buffer[kPathBufferLength] = {};
    if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, type, buffer))) return false;
    out = buffer;
    return true;
}

}  // namespace

bool XpPlatformGetTempPath(XpPlatformString& out)
{
    WCHAR buffer[kPathBufferLength];
    const DWORD length = GetTempPathW(kPathBufferLength, buffer);
    if (length == 0 || length >= kPathBufferLength) return false;
    out.assign(buffer, length);
    return true;
}

bool XpPlatformGetModulePath(XpPlatformString& out)
{
    WCHAR buffer[kPathBufferLength];
    const DWORD length = GetModuleFileNameW(nullptr, buffer, kPathBufferLength);
    // A name that filled the whole buffer was cut short.
    if (length == 0 || length >= kPathBufferLength) return false;
    out.assign(buffer, length);
    return true;
}

bool XpPlatformGetSpecialFolder(int kind, XpPlatformString& out, bool* createIfMissing)
{
    const bool madeOnFirstUse =
        kind == XpSpecialFolder::Pictures || kind == XpSpecialFolder::Videos || kind == XpSpecialFolder::Music;
    if (createIfMissing != nullptr) *createIfMissing = madeOnFirstUse;

    if (kind == XpSpecialFolder::Temp) return XpPlatformGetTempPath(out);
    if (kind == XpSpecialFolder::ModulePath) return XpPlatformGetModulePath(out);

    int csidl = -1;
    for (const FolderEntry& entry : kFolders)
        if (entry.kind == kind) csidl = entry.csidl;
    if (csidl < 0) return false;

    if (FromLocation(csidl, out)) return true;
    if (!madeOnFirstUse) return false;

    // The user's media folders may not have been made yet: ask for the current path, then
    // the default one, with the shell making the folder, and last for the default path
    // alone (the caller then makes the folder).
    XpPlatformString path;
    if (FromFolderPath(csidl | CSIDL_FLAG_CREATE, SHGFP_TYPE_CURRENT, path) ||
        FromFolderPath(csidl | CSIDL_FLAG_CREATE, SHGFP_TYPE_DEFAULT, path) ||
        FromFolderPath(csidl, SHGFP_TYPE_DEFAULT, path)) {
        if (path.empty()) return false;
        out = path;
        return true;
    }
    return false;
}
