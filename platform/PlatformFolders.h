#pragma once
// The temporary folder, the running executable and the special folders.
// Windows: GetTempPathW, GetModuleFileNameW, SHGetFolderLocation and SHGetFolderPathW.
// Linux: $TMPDIR or /tmp, /proc/self/exe, and the XDG base and user directories.

#include "platform/XpChar.h"

// The temporary folder, ending in a separator. False on failure.
bool XpPlatformGetTempPath(XpPlatformString& out);
// The running executable's full path. False on failure.
bool XpPlatformGetModulePath(XpPlatformString& out);

// The special-folder kinds of the file layer.
namespace XpSpecialFolder {
inline constexpr int Temp = 0;
inline constexpr int Pictures = 1;
inline constexpr int Videos = 2;
inline constexpr int Music = 3;
inline constexpr int Documents = 4;
inline constexpr int Desktop = 5;
inline constexpr int CommonPictures = 6;
inline constexpr int CommonVideos = 7;
inline constexpr int CommonMusic = 8;
inline constexpr int CommonDocuments = 9;
inline constexpr int CommonDesktop = 10;
inline constexpr int AppData = 11;
inline constexpr int ModulePath = 13;
inline constexpr int Profile = 14;
inline constexpr int CommonAppData = 15;
}  // namespace XpSpecialFolder

// One of the folder kinds above other than Temp and ModulePath. False when the system
// has no such folder. *createIfMissing is set when the caller should create the folder
// (and all levels above it) when it does not exist yet: the user's pictures, videos and
// music are made on first use.
bool XpPlatformGetSpecialFolder(int kind, XpPlatformString& out, bool* createIfMissing);
