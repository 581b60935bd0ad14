#pragma once
// What the Linux files service and its directory search share: one status query that
// also gives the birth time, and the Windows attribute bits derived from a status.
// Internal to platform/posix.

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <string_view>

#include "platform/PlatformErrors.h"

// ERROR_DIRECTORY, "the directory name is invalid": what Windows answers when a file
// stands where a directory is asked for (RemoveDirectoryW, FindFirstFileW, disk space).
inline constexpr uint32_t kXpPosixErrorDirectory = XpWinError::Directory;

struct XpPosixFileInfo {
    mode_t mode = 0;
    int64_t size = 0;
    struct timespec creation = {};  // birth time where recorded, else status change
    struct timespec access = {};
    struct timespec modification = {};
};

// statx where the kernel has it, fstatat otherwise. flags: 0, AT_SYMLINK_NOFOLLOW or
// AT_EMPTY_PATH (with path "" and dirFd the file). Returns 0 or an errno.
int XpPosixStatAt(int dirFd, const char* path, int flags, XpPosixFileInfo* info);

// The Windows attributes of an entry whose own (not followed) mode is lstatMode. name is
// the entry's last path part (decides Hidden); dirFd and path locate the entry again to
// learn whether a symbolic link leads to a directory.
uint32_t XpPosixAttributes(int dirFd, const char* path, mode_t lstatMode, std::string_view name);

// The last part of a path, trailing slashes ignored ("" for "/").
std::string_view XpPosixLastPathPart(std::string_view path);
