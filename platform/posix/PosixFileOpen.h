#pragma once
// What the Linux files service shares with its link-safe variants (PosixSecureFiles.cpp):
// the one open path of XpPlatformCreateFile, relative to a folder descriptor, and the
// lock that keeps a file from being deleted under an open that denies it. Internal to
// platform/posix.

#include <cstdint>
#include <string>

#include "platform/PlatformFiles.h"

// XpPlatformCreateFile for name relative to dirFd (AT_FDCWD: the current folder), with
// extraFlags added to the open. With O_NOFOLLOW a link in place of the file gives
// StoppedOnSymlink and is left as it is.
uint32_t XpPosixCreateFileAt(int dirFd, const std::string& name, int extraFlags, uint32_t access, uint32_t shareMode,
                             uint32_t disposition, uint32_t flagsAndAttributes, XpFileHandle* handle);

// Takes the lock that an open denying deletes holds against a delete (see PosixFiles.cpp);
// false when such an open exists. The lock lasts until fd is closed, so that no such open
// slips in before the delete.
bool XpPosixLockForDelete(int fd);
