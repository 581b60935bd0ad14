#pragma once
// Files, directories, directory search, attributes, file times and volume space.
// Windows: CreateFileW, ReadFile, FindFirstFileW, GetFileAttributesW, ... directly.
// Linux: POSIX calls with UTF-16 paths converted to UTF-8 file names, errno translated
// into Windows error numbers; attributes are derived (read-only = no owner write bit,
// hidden = name beginning with "."); share modes hold among the processes that use this
// library, kept as open-file-description locks on marker bytes (PosixShareModes.h).
//
// Every operation that can fail returns 0 or a Windows error number (PlatformErrors.h).

#include <cstdint>

#include "platform/XpChar.h"

using XpFileHandle = std::intptr_t;
inline constexpr XpFileHandle kXpInvalidFileHandle = -1;

// Windows file attribute bits.
namespace XpFileAttr {
inline constexpr uint32_t ReadOnly = 0x1;
inline constexpr uint32_t Hidden = 0x2;
inline constexpr uint32_t Directory = 0x10;
inline constexpr uint32_t Normal = 0x80;
// A symbolic link or junction (Linux: a symbolic link; Directory is set too when it
// leads to a directory). Walks over a tree never descend into one.
inline constexpr uint32_t ReparsePoint = 0x400;
inline constexpr uint32_t Invalid = 0xFFFFFFFF;
}  // namespace XpFileAttr

// CreateFileW's access rights, share modes, dispositions and flags.
namespace XpFileOpen {
inline constexpr uint32_t GenericRead = 0x80000000;
inline constexpr uint32_t GenericWrite = 0x40000000;
// DELETE: the right to delete or rename the file, which share modes govern like reading
// and writing.
inline constexpr uint32_t Delete = 0x00010000;
inline constexpr uint32_t ShareRead = 0x1;
inline constexpr uint32_t ShareWrite = 0x2;
inline constexpr uint32_t ShareDelete = 0x4;
inline constexpr uint32_t CreateNew = 1;
inline constexpr uint32_t CreateAlways = 2;
inline constexpr uint32_t OpenExisting = 3;
inline constexpr uint32_t OpenAlways = 4;
inline constexpr uint32_t TruncateExisting = 5;
inline constexpr uint32_t SequentialScan = 0x08000000;
inline constexpr uint32_t RandomAccess = 0x10000000;
}  // namespace XpFileOpen

// Opens or creates a file. access: GenericRead / GenericWrite / Delete or 0 (query only:
// size and times, no data). Share modes follow Windows on both targets: an open that asks
// for an access another open does not share, or does not share an access another open
// holds, fails with SharingViolation, and so does DeleteFile of a file that an open does
// not share delete on. Query-only opens neither check nor hold anything. On Linux this
// holds among the processes that use this library; other programs are not held back.
uint32_t XpPlatformCreateFile(const XpChar* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                              uint32_t flagsAndAttributes, XpFileHandle* handle);
uint32_t XpPlatformCloseFile(XpFileHandle handle);
// One read of at most size bytes; *done gets the bytes read (0 at the end of the file).
uint32_t XpPlatformReadFile(XpFileHandle handle, void* buffer, uint32_t size, uint32_t* done);
uint32_t XpPlatformWriteFile(XpFileHandle handle, const void* buffer, uint32_t size, uint32_t* done);
// origin: 0 begin, 1 current, 2 end. A move before the start fails with NegativeSeek.
uint32_t XpPlatformSeekFile(XpFileHandle handle, int64_t offset, uint32_t origin, int64_t* newPosition);
// Ends the file at the current position (grows or cuts it).
uint32_t XpPlatformSetEndOfFile(XpFileHandle handle);
uint32_t XpPlatformGetFileSize(XpFileHandle handle, int64_t* size);
// File times as FILETIME counts (UTC); any pointer may be null. On Linux creation is the
// birth time where the file system records it, else the status-change time.
uint32_t XpPlatformGetFileTimes(XpFileHandle handle, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite);
// Linux cannot set a creation time; it is ignored there.
uint32_t XpPlatformSetFileTimes(XpFileHandle handle, const uint64_t* creation, const uint64_t* lastAccess,
                                const uint64_t* lastWrite);

// GetFileAttributesW / SetFileAttributesW (only ReadOnly matters for setting on Linux).
uint32_t XpPlatformGetAttributes(const XpChar* path, uint32_t* attributes);
uint32_t XpPlatformSetAttributes(const XpChar* path, uint32_t attributes);
// DeleteFileW: the file itself (not a directory). RemoveDirectoryW: an empty directory.
uint32_t XpPlatformDeleteFile(const XpChar* path);
uint32_t XpPlatformRemoveDirectory(const XpChar* path);
// PathIsDirectoryW, with critical-error dialogs suppressed on Windows.
bool XpPlatformIsDirectory(const XpChar* path);

// C run-time style operations; they return 0 or an errno in the Windows C run-time's
// numbering (XpCrtErrno).
// _wmkdir.
int XpPlatformCrtMkdir(const XpChar* path);
// _wsopen_s then close: mustBeNew = write-only, create, exclusive; otherwise read-write,
// create, binary (an existing file is kept as it is). Permission read and write.
int XpPlatformCrtCreateFile(const XpChar* path, bool mustBeNew);
// _wstat64: the three times as seconds since 1970 UTC; false when the path cannot be read.
bool XpPlatformStatTimes(const XpChar* path, int64_t* creation, int64_t* modification, int64_t* access);

// Directory search (FindFirstFileW and friends). The pattern is a path whose last part
// may hold the wildcards * and ?; "." and ".." are reported as the system lists them.
struct XpFindData {
    uint32_t attributes;
    uint64_t creationTime;
    uint64_t lastAccessTime;
    uint64_t lastWriteTime;
    int64_t size;
    XpChar name[260];
};
using XpFindHandle = std::intptr_t;
inline constexpr XpFindHandle kXpInvalidFindHandle = -1;
// No match: FileNotFound; the folder itself missing: PathNotFound.
uint32_t XpPlatformFindFirst(const XpChar* pattern, XpFindData* data, XpFindHandle* handle);
// At the end: NoMoreFiles.
uint32_t XpPlatformFindNext(XpFindHandle handle, XpFindData* data);
uint32_t XpPlatformFindClose(XpFindHandle handle);

// GetDiskFreeSpaceExW of the volume holding path; any pointer may be null.
uint32_t XpPlatformGetDiskSpace(const XpChar* path, uint64_t* availableToCaller, uint64_t* total, uint64_t* free);
// The volume's allocation unit in bytes (Windows: the NTFS volume data, else
// GetDiskFreeSpaceW; Linux: statvfs' fragment size).
uint32_t XpPlatformGetAllocationUnit(const XpChar* path, uint32_t* bytes);
