// Files, directories, directory search, attributes, times and volume space on Windows:
// thin wrappers over the wide Win32 and C run-time calls, answering GetLastError (or
// errno for the C run-time calls).

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <wchar.h>
#include <windows.h>
#include <winioctl.h>

#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/shared/XpCalendar.h"
#include "platform/shared/XpPathRoot.h"

namespace {
HANDLE AsHandle(XpFileHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

uint64_t FromFileTime(const FILETIME& time)
{
    return XpCalendar::JoinHalves(time.dwLowDateTime, time.dwHighDateTime);
}

FILETIME ToFileTime(uint64_t time)
{
    FILETIME result;
    result.dwLowDateTime = XpCalendar::LowHalf(time);
    result.dwHighDateTime = XpCalendar::HighHalf(time);
    return result;
}

uint32_t LastError()
{
    const DWORD error = GetLastError();
    return error == 0 ? XpWinError::GenFailure : error;
}

void CopyFindData(const WIN32_FIND_DATAW& from, XpFindData* to)
{
    to->attributes = from.dwFileAttributes;
    to->creationTime = FromFileTime(from.ftCreationTime);
    to->lastAccessTime = FromFileTime(from.ftLastAccessTime);
    to->lastWriteTime = FromFileTime(from.ftLastWriteTime);
    to->size = static_cast<int64_t>((static_cast<uint64_t>(from.nFileSizeHigh) << 32) | from.nFileSizeLow);
    static_assert(sizeof(to->name) == sizeof(from.cFileName), "find record names differ in size");
    wmemcpy(to->name, from.cFileName, MAX_PATH);
    to->name[MAX_PATH - 1] = 0;
}

// No "insert a disk" box for an empty removable drive while the object lives. The mode is
// the calling thread's own, so stage threads do not change each other's.
class QuietCriticalErrors {
public:
    QuietCriticalErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS, &m_previous); }
    ~QuietCriticalErrors() { SetThreadErrorMode(m_previous, nullptr); }
    QuietCriticalErrors(const QuietCriticalErrors&) = delete;
    QuietCriticalErrors& operator=(const QuietCriticalErrors&) = delete;

private:
    DWORD m_previous = 0;
};

// Seconds since 1 January 1970 (UTC), rounded down, from a file time.
int64_t ToUnixSeconds(const FILETIME& time)
{
    int64_t seconds = 0;
    XpCalendar::UnixFromFileTime(FromFileTime(time), &seconds, nullptr);
    return seconds;
}

XpPathRoot RootOf(const wchar_t* path)
{
    return XpParsePathRoot(path, wcslen(path), XpPathStyle::Windows);
}

// The root folder that GetDiskFreeSpaceW accepts, always with its closing separator:
// "X:\" for any path on a drive, "\\server\share\" or a device's "\\?\Volume{...}\";
// empty (the current drive) for anything else.
std::wstring RootFolderOf(const wchar_t* path)
{
    const XpPathRoot root = RootOf(path);
    switch (root.kind) {
        case XpRootKind::Drive:
        case XpRootKind::DriveRelative:
            return std::wstring(path + root.prefix, 2) + L"\\";
        case XpRootKind::Share:
        case XpRootKind::Device:
            return std::wstring(path, root.length) + L"\\";
        default:
            return std::wstring();
    }
}
}  // namespace

uint32_t XpPlatformCreateFile(const XpChar* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                              uint32_t flagsAndAttributes, XpFileHandle* handle)
{
    if (handle == nullptr) return XpWinError::InvalidParameter;
    *handle = kXpInvalidFileHandle;
    if (path == nullptr) return XpWinError::InvalidParameter;
    const HANDLE file = CreateFileW(path, access, shareMode, nullptr, disposition, flagsAndAttributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    *handle = reinterpret_cast<XpFileHandle>(file);
    return XpWinError::Success;
}

uint32_t XpPlatformCloseFile(XpFileHandle handle)
{
    if (handle == kXpInvalidFileHandle) return XpWinError::InvalidHandle;
    return CloseHandle(AsHandle(handle)) ? XpWinError::Success : LastError();
}

uint32_t XpPlatformReadFile(XpFileHandle handle, void* buffer, uint32_t size, uint32_t* done)
{
    DWORD count = 0;
    const BOOL ok = ReadFile(AsHandle(handle), buffer, size, &count, nullptr);
    if (done != nullptr) *done = count;
    return ok ? XpWinError::Success : LastError();
}

uint32_t XpPlatformWriteFile(XpFileHandle handle, const void* buffer, uint32_t size, uint32_t* done)
{
    DWORD count = 0;
    const BOOL ok = WriteFile(AsHandle(handle), buffer, size, &count, nullptr);
    if (done != nullptr) *done = count;
    return ok ? XpWinError::Success : LastError();
}

uint32_t XpPlatformSeekFile(XpFileHandle handle, int64_t offset, uint32_t origin, int64_t* newPosition)
{
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER reached;
    if (!SetFilePointerEx(AsHandle(handle), distance, &reached, origin)) return LastError();
    if (newPosition != nullptr) *newPosition = reached.QuadPart;
    return XpWinError::Success;
}

uint32_t XpPlatformSetEndOfFile(XpFileHandle handle)
{
    return SetEndOfFile(AsHandle(handle)) ? XpWinError::Success : LastError();
}

uint32_t XpPlatformGetFileSize(XpFileHandle handle, int64_t* size)
{
    if (size == nullptr) return XpWinError::InvalidParameter;
    LARGE_INTEGER value;
    if (!GetFileSizeEx(AsHandle(handle), &value)) return LastError();
    *size = value.QuadPart;
    return XpWinError::Success;
}

uint32_t XpPlatformGetFileTimes(XpFileHandle handle, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite)
{
    FILETIME created, accessed, written;
    if (!GetFileTime(AsHandle(handle), &created, &accessed, &written)) return LastError();
    if (creation != nullptr) *creation = FromFileTime(created);
    if (lastAccess != nullptr) *lastAccess = FromFileTime(accessed);
    if (lastWrite != nullptr) *lastWrite = FromFileTime(written);
    return XpWinError::Success;
}

uint32_t XpPlatformSetFileTimes(XpFileHandle handle, const uint64_t* creation, const uint64_t* lastAccess,
                                const uint64_t* lastWrite)
{
    FILETIME created, accessed, written;
    if (creation != nullptr) created = ToFileTime(*creation);
    if (lastAccess != nullptr) accessed = ToFileTime(*lastAccess);
    if (lastWrite != nullptr) written = ToFileTime(*lastWrite);
    if (!SetFileTime(AsHandle(handle), creation != nullptr ? &created : nullptr,
                     lastAccess != nullptr ? &accessed : nullptr, lastWrite != nullptr ? &written : nullptr))
        return LastError();
    return XpWinError::Success;
}

uint32_t XpPlatformGetAttributes(const XpChar* path, uint32_t* attributes)
{
    if (attributes == nullptr) return XpWinError::InvalidParameter;
    *attributes = XpFileAttr::Invalid;
    if (path == nullptr) return XpWinError::InvalidParameter;
    const DWORD value = GetFileAttributesW(path);
    if (value == INVALID_FILE_ATTRIBUTES) return LastError();
    *attributes = value;
    return XpWinError::Success;
}

uint32_t XpPlatformSetAttributes(const XpChar* path, uint32_t attributes)
{
    if (path == nullptr) return XpWinError::InvalidParameter;
    return SetFileAttributesW(path, attributes) ? XpWinError::Success : LastError();
}

uint32_t XpPlatformDeleteFile(const XpChar* path)
{
    if (path == nullptr) return XpWinError::InvalidParameter;
    return DeleteFileW(path) ? XpWinError::Success : LastError();
}

uint32_t XpPlatformRemoveDirectory(const XpChar* path)
{
    if (path == nullptr) return XpWinError::InvalidParameter;
    return RemoveDirectoryW(path) ? XpWinError::Success : LastError();
}

bool XpPlatformIsDirectory(const XpChar* path)
{
    if (path == nullptr) return false;
    QuietCriticalErrors quiet;
    const DWORD value = GetFileAttributesW(path);
    return value != INVALID_FILE_ATTRIBUTES && (value & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

int XpPlatformCrtMkdir(const XpChar* path)
{
    if (path == nullptr) return XpCrtErrno::Inval;
    if (_wmkdir(path) != 0) return errno;
    return 0;
}

int XpPlatformCrtCreateFile(const XpChar* path, bool mustBeNew)
{
    if (path == nullptr) return XpCrtErrno::Inval;
    const int flags = mustBeNew ? (_O_WRONLY | _O_CREAT | _O_EXCL) : (_O_RDWR | _O_CREAT | _O_BINARY);
    int fd = -1;
    const errno_t error = _wsopen_s(&fd, path, flags, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    if (error != 0) return error;
    _close(fd);
    return 0;
}

bool XpPlatformStatTimes(const XpChar* path, int64_t* creation, int64_t* modification, int64_t* access)
{
    if (path == nullptr) return false;
    // The attribute query rather than the C run-time's stat: the same times in seconds, and
    // it also accepts a folder named with a trailing separator ("C:\dir\"), which stat refuses.
    WIN32_FILE_ATTRIBUTE_DATA status;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &status)) return false;
    if (creation != nullptr) *creation = ToUnixSeconds(status.ftCreationTime);
    if (modification != nullptr) *modification = ToUnixSeconds(status.ftLastWriteTime);
    if (access != nullptr) *access = ToUnixSeconds(status.ftLastAccessTime);
    return true;
}

uint32_t XpPlatformFindFirst(const XpChar* pattern, XpFindData* data, XpFindHandle* handle)
{
    if (handle == nullptr) return XpWinError::InvalidParameter;
    *handle = kXpInvalidFindHandle;
    if (pattern == nullptr || data == nullptr) return XpWinError::InvalidParameter;
    WIN32_FIND_DATAW found;
    HANDLE search;
    {
        QuietCriticalErrors quiet;  // existence tests search too
        search = FindFirstFileW(pattern, &found);
        if (search == INVALID_HANDLE_VALUE) return LastError();
    }
    CopyFindData(found, data);
    *handle = reinterpret_cast<XpFindHandle>(search);
    return XpWinError::Success;
}

uint32_t XpPlatformFindNext(XpFindHandle handle, XpFindData* data)
{
    if (handle == kXpInvalidFindHandle) return XpWinError::InvalidHandle;
    if (data == nullptr) return XpWinError::InvalidParameter;
    WIN32_FIND_DATAW found;
    if (!FindNextFileW(AsHandle(handle), &found)) return LastError();
    CopyFindData(found, data);
    return XpWinError::Success;
}

uint32_t XpPlatformFindClose(XpFindHandle handle)
{
    if (handle == kXpInvalidFindHandle) return XpWinError::InvalidHandle;
    return FindClose(AsHandle(handle)) ? XpWinError::Success : LastError();
}

uint32_t XpPlatformGetDiskSpace(const XpChar* path, uint64_t* availableToCaller, uint64_t* total, uint64_t* free)
{
    if (path == nullptr) return XpWinError::InvalidParameter;
    ULARGE_INTEGER available, all, unused;
    if (!GetDiskFreeSpaceExW(path, &available, &all, &unused)) return LastError();
    if (availableToCaller != nullptr) *availableToCaller = available.QuadPart;
    if (total != nullptr) *total = all.QuadPart;
    if (free != nullptr) *free = unused.QuadPart;
    return XpWinError::Success;
}

uint32_t XpPlatformGetAllocationUnit(const XpChar* path, uint32_t* bytes)
{
    if (path == nullptr || bytes == nullptr) return XpWinError::InvalidParameter;
    // The NTFS volume data names the cluster size directly; it needs the volume device
    // "\\.\X:", which only a path with a drive letter has.
    const XpPathRoot root = RootOf(path);
    if (root.kind == XpRootKind::Drive || root.kind == XpRootKind::DriveRelative) {
        const wchar_t device[] = {L'\\', L'\\', L'.', L'\\', path[root.prefix], L':', 0};
        const HANDLE volume = CreateFileW(device, 0, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (volume != INVALID_HANDLE_VALUE) {
            NTFS_VOLUME_DATA_BUFFER data;
            DWORD returned = 0;
            const BOOL ok = DeviceIoControl(volume, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &data, sizeof(data),
                                            &returned, nullptr);
            CloseHandle(volume);
            if (ok && data.BytesPerCluster != 0) {
                *bytes = data.BytesPerCluster;
                return XpWinError::Success;
            }
        }
    }
    const std::wstring folder = RootFolderOf(path);
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (!GetDiskFreeSpaceW(folder.empty() ? nullptr : folder.c_str(), &sectorsPerCluster, &bytesPerSector,
                           &freeClusters, &clusters))
        return LastError();
    const uint64_t unit = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    if (unit == 0 || unit > UINT32_MAX) return XpWinError::InvalidFunction;
    *bytes = static_cast<uint32_t>(unit);
    return XpWinError::Success;
}
