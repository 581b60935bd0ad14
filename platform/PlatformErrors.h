#pragma once
// Error numbers that every platform service reports, whatever the target: the Windows
// error numbers (GetLastError values) and the Windows C run-time's errno numbers. The
// Linux implementations translate errno into these, so the foundation maps errors to
// its result codes in one place for both targets.

#include <cstdint>

namespace XpWinError {
inline constexpr uint32_t Success = 0;
inline constexpr uint32_t InvalidFunction = 1;
inline constexpr uint32_t FileNotFound = 2;
inline constexpr uint32_t PathNotFound = 3;
inline constexpr uint32_t TooManyOpenFiles = 4;
inline constexpr uint32_t AccessDenied = 5;
inline constexpr uint32_t InvalidHandle = 6;
inline constexpr uint32_t NotEnoughMemory = 8;
inline constexpr uint32_t OutOfMemory = 14;
inline constexpr uint32_t InvalidDrive = 15;
inline constexpr uint32_t NotSameDevice = 17;
inline constexpr uint32_t NoMoreFiles = 18;
inline constexpr uint32_t WriteProtect = 19;
inline constexpr uint32_t NotReady = 21;
inline constexpr uint32_t GenFailure = 31;
inline constexpr uint32_t SharingViolation = 32;
inline constexpr uint32_t LockViolation = 33;
inline constexpr uint32_t HandleEof = 38;
inline constexpr uint32_t HandleDiskFull = 39;
inline constexpr uint32_t NotSupported = 50;
inline constexpr uint32_t DevNotExist = 55;
inline constexpr uint32_t NetworkAccessDenied = 65;
inline constexpr uint32_t FileExists = 80;
inline constexpr uint32_t InvalidParameter = 87;
inline constexpr uint32_t OpenFailed = 110;
inline constexpr uint32_t DiskFull = 112;
inline constexpr uint32_t NegativeSeek = 131;
inline constexpr uint32_t DirNotEmpty = 145;
inline constexpr uint32_t AlreadyExists = 183;
inline constexpr uint32_t FilenameExcedRange = 206;
// A file that is no program the system can start (ERROR_BAD_EXE_FORMAT).
inline constexpr uint32_t BadExeFormat = 193;
// "The directory name is invalid": a file stands where a directory is asked for.
inline constexpr uint32_t Directory = 267;
inline constexpr uint32_t FileInvalid = 1006;
inline constexpr uint32_t Cancelled = 1223;
// "The library or drive is not empty" (removable media); counted as a folder not empty.
inline constexpr uint32_t NotEmpty = 4307;
// The Windows Sockets spelling of "directory not empty" (WSAENOTEMPTY).
inline constexpr uint32_t WsaNotEmpty = 10066;
// Not a GetLastError value: the shell's answer to a file operation that failed on its
// destination (ERRORONDEST), which a delete has none of.
inline constexpr uint32_t ShellErrorOnDestination = 0x10000;
// The file has no resource of the asked type (a file without a version resource).
inline constexpr uint32_t ResourceTypeNotFound = 1813;
// The thread does not own the mutex it tries to release.
inline constexpr uint32_t NotOwner = 288;
// The link-safe file layer (PlatformSecureFiles.h):
inline constexpr uint32_t StoppedOnSymlink = 681;       // a link where none may be followed
inline constexpr uint32_t InvalidOwner = 1307;          // a folder that another user owns
inline constexpr uint32_t InvalidSecurityDescr = 1338;  // a folder that others can write
// The registry:
inline constexpr uint32_t BadPathname = 161;
inline constexpr uint32_t MoreData = 234;
inline constexpr uint32_t BadDb = 1009;  // the registry's store does not parse
inline constexpr uint32_t KeyDeleted = 1018;
// WinInet's errors, which the HTTP service reports on both targets.
inline constexpr uint32_t InternetTimeout = 12002;
inline constexpr uint32_t InternetInternalError = 12004;
inline constexpr uint32_t InternetInvalidUrl = 12005;
inline constexpr uint32_t InternetUnrecognizedScheme = 12006;
inline constexpr uint32_t InternetNameNotResolved = 12007;
inline constexpr uint32_t InternetCannotConnect = 12029;
inline constexpr uint32_t InternetConnectionAborted = 12030;
inline constexpr uint32_t InternetInvalidCa = 12045;
inline constexpr uint32_t HttpRedirectFailed = 12156;
inline constexpr uint32_t InternetSecurityChannelError = 12157;
}  // namespace XpWinError

// errno values as the Windows C run-time numbers them.
namespace XpCrtErrno {
inline constexpr int NoEnt = 2;
inline constexpr int BadF = 9;
inline constexpr int NoMem = 12;
inline constexpr int Acces = 13;
inline constexpr int Exist = 17;
inline constexpr int NotDir = 20;
inline constexpr int IsDir = 21;
inline constexpr int Inval = 22;
inline constexpr int MFile = 24;
inline constexpr int NoSpc = 28;
inline constexpr int RoFs = 30;
inline constexpr int NameTooLong = 38;
inline constexpr int Other = 5;  // EIO: anything without its own number above
}  // namespace XpCrtErrno
