#pragma once
// What the Linux files service shares with its link-safe variants (PosixSecureFiles.cpp):
// the one open path of XpPlatformCreateFile, relative to a folder descriptor. (Deletes
// go through XpPosixBeginDelete of PosixShareModes.h.) Internal to platform/posix.

#include <cstdint>
#include <string>

#include "platform/PlatformFiles.h"

// XpPlatformCreateFile for name relative to dirFd (AT_FDCWD: the current folder), with
// extraFlags added to the open. With O_NOFOLLOW a link in place of the file gives
// StoppedOnSymlink and is left as it is.
uint32_t XpPosixCreateFileAt(int dirFd, const std::string& name, int extraFlags, uint32_t access, uint32_t shareMode,
                             uint32_t disposition, uint32_t flagsAndAttributes, XpFileHandle* handle);
