#pragma once
// Result codes of the foundation library: 0 for success, otherwise a code of the
// library's scheme. 0x80xx generic, 0x81xx file system, 0x82xx threads and waits,
// 0x84xx memory, 0x85xx property lists.

#include <cstdint>

using XpResult = uint32_t;

namespace XpRc {
inline constexpr XpResult Ok = 0;
inline constexpr XpResult Failure = 0x8000;
inline constexpr XpResult CrtFailure = 0x8100;
inline constexpr XpResult NotOpen = 0x8101;
inline constexpr XpResult InvalidArgument = 0x8102;
inline constexpr XpResult EndOfFile = 0x8103;
inline constexpr XpResult BufferTooSmall = 0x8104;
inline constexpr XpResult FileNotFound = 0x8105;
inline constexpr XpResult PathNotFound = 0x8106;
inline constexpr XpResult AlreadyOpen = 0x8107;
inline constexpr XpResult AccessDenied = 0x8108;
inline constexpr XpResult DiskFull = 0x8109;
inline constexpr XpResult AlreadyExists = 0x810A;
inline constexpr XpResult TooManyOpenFiles = 0x810B;
inline constexpr XpResult OpenFailed = 0x810D;
inline constexpr XpResult CloseNotOpen = 0x810E;
inline constexpr XpResult DeleteFailed = 0x810F;
inline constexpr XpResult NoSuchFile = 0x8111;  // also: open for writing failed
inline constexpr XpResult BadRoot = 0x8112;     // also: the parent exists but the directory could not be made
inline constexpr XpResult NotSupportedByKind = 0x8116;
inline constexpr XpResult DirectoryNotEmpty = 0x8117;
inline constexpr XpResult InvalidFile = 0x8119;  // also: date-time conversion failed
inline constexpr XpResult DeviceNotReady = 0x811A;
inline constexpr XpResult NotSupported = 0x8203;
inline constexpr XpResult OutOfMemory = 0x8401;
inline constexpr XpResult WaitFailed = 0x8200;
inline constexpr XpResult TimedOut = 0x8201;  // also the would-block answer to a zero time-out
inline constexpr XpResult NotOwner = 0x8202;
inline constexpr XpResult Abandoned = 0x8204;
inline constexpr XpResult JoinSelf = 0x8205;
inline constexpr XpResult InvalidHandle = 0x8206;  // also: a null object or a time-out not offered
// The link-safe file layer: a symbolic link or junction where the caller's own file or
// folder is meant; a folder that another user owns or that others can write.
inline constexpr XpResult LinkRefused = 0x811B;
inline constexpr XpResult FolderNotPrivate = 0x811C;
}  // namespace XpRc

// Maps a Windows error number (GetLastError, or what a platform service reports).
XpResult XpMapWindowsError(uint32_t error);
// Maps a C run-time errno, numbered as the Windows C run-time numbers it.
XpResult XpMapCrtError(int error);
// True for the two codes that mean "some failure nobody named".
inline bool XpIsGenericFailure(XpResult rc)
{
    return rc == XpRc::Failure || rc == XpRc::CrtFailure;
}

// The operations that read an error their own way; each maps 0 to Ok.
//
// A failed delete of a file: the Windows mapping, with a generic code made DeleteFailed.
XpResult XpMapDeleteError(uint32_t error);
// A move to the recycle bin: the shell's "error on destination" counts as done (a delete
// has no destination), a request that could not be built is OutOfMemory, anything else
// DeleteFailed.
XpResult XpMapRecycleError(uint32_t error);
// A failed open of a file: the Windows mapping, with a generic code made NoSuchFile when
// the file was opened for writing and OpenFailed otherwise.
XpResult XpMapOpenError(uint32_t error, bool forWriting);
// A failed _wmkdir: already there, a missing folder on the way, or no write access by
// their errno; anything else is BadRoot when the parent folder exists (the folder could
// not be made there) and PathNotFound when it does not.
XpResult XpMapMkdirError(int error, bool parentIsDirectory);
// A failed exclusive create of a new file (_wsopen_s with create and exclusive).
XpResult XpMapCreateNewFileError(int error);
// Maps what a wait answered (numbered as WaitForSingleObject answers) and, for a failed
// wait, the error it reported.
XpResult XpMapWaitResult(uint32_t waitResult, uint32_t error);
