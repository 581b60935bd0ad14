#pragma once
// Windows share modes on Linux, among all processes that use this library. Internal to
// platform/posix.
//
// Every open of a regular file with read, write or delete access announces what it
// holds and what it denies as open-file-description locks (F_OFD_SETLK) on marker bytes
// far beyond any real file size, and checks the markers of every other open of the same
// file: an open is refused with SharingViolation when it asks for an access that another
// open denies, or denies an access that another open holds. The markers belong to the
// open file description, so they go when its last descriptor is closed (also when the
// process ends) and are not inherited across exec (the descriptors are close-on-exec).
// Details and limits are in PosixShareModes.cpp and docs/architecture.md.

#include <cstdint>

// Announces the accesses of the open behind fd and the accesses its share mode denies,
// after checking them against the other opens of the file. fd: a descriptor of a regular
// file opened for reading or writing (an O_PATH descriptor cannot carry locks). access:
// CreateFileW's access mask; XpFileOpen::GenericRead, GenericWrite and Delete count, an
// access without any of them (a query of size or times) neither checks nor announces
// anything, as on Windows. shareMode: XpFileOpen::ShareRead / ShareWrite / ShareDelete.
// Returns 0, SharingViolation (nothing announced), or another Windows error number. A
// file system without these locks has nothing to honour: the open is let through.
uint32_t XpPosixTakeShareMode(int fd, uint32_t access, uint32_t shareMode);

// For a delete or rename of the entry name in the folder dirfd (AT_FDCWD: name is a path;
// a link in the last part is not followed): when it is a regular file, opens it and
// announces delete access with everything shared, as DeleteFileW and MoveFileW do for the
// moment of the change. *holder gets the descriptor to keep until the name is gone, then
// to close; -1 when there is nothing to hold (not a regular file, or a file this process
// cannot open, which no open of it can be checked against). Returns 0, or
// SharingViolation when another open denies delete (*holder is then -1).
uint32_t XpPosixBeginDelete(int dirfd, const char* name, int* holder);
