// Files, attributes, deletes, C run-time style creation, times and volume space on
// Linux, following the Windows rules wherever a caller could tell the difference: the
// same error numbers, read-only files that cannot be written or deleted, directories
// that cannot be opened as files, and share modes (PosixShareModes.h).

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/posix/PosixCommon.h"
#include "platform/posix/PosixFileInfo.h"
#include "platform/posix/PosixShareModes.h"
#include "platform/posix/PosixFileOpen.h"

namespace {
constexpr std::size_t kMaxTransfer = 1u << 30;

int Descriptor(XpFileHandle handle)
{
    return handle < 0 || handle > INT_MAX ? -1 : static_cast<int>(handle);
}

// A data call failing with EBADF (or ftruncate's EINVAL) on a descriptor that is open
// means the handle was opened without the access the call needs.
uint32_t HandleError(int fd, int error)
{
    if ((error == EBADF || error == EINVAL) && fd >= 0 && fcntl(fd, F_GETFD) != -1) return XpWinError::AccessDenied;
    return XpPosixWinError(error);
}

bool IsReadOnlyMode(mode_t mode)
{
    return (mode & S_IWUSR) == 0;
}

uint32_t OpenError(int error, const std::string& name)
{
    return XpPosixWinError(error, name);
}

// Opens name (relative to dirFd) by the Windows disposition. *created tells whether this
// call made the file. Query-only opens of a file that cannot be read fall back to a path
// descriptor, which still answers size and times.
uint32_t OpenByDisposition(int dirFd, const std::string& name, int flags, uint32_t disposition, bool queryOnly, int* fd,
                           bool* created)
{
    const auto openExisting = [&]() -> int {
        int result = openat(dirFd, name.c_str(), flags);
        if (result < 0 && errno == EACCES && queryOnly) {
            result = openat(dirFd, name.c_str(), O_PATH | O_CLOEXEC | (flags & O_NOFOLLOW));
            if (result < 0) errno = EACCES;
        }
        return result;
    };
    *created = false;
    switch (disposition) {
        case XpFileOpen::CreateNew:
            *fd = openat(dirFd, name.c_str(), flags | O_CREAT | O_EXCL, 0666);
            if (*fd < 0) return errno == EEXIST ? XpWinError::FileExists : OpenError(errno, name);
            *created = true;
            return XpWinError::Success;
        case XpFileOpen::OpenExisting:
        case XpFileOpen::TruncateExisting:
            *fd = openExisting();
            return *fd < 0 ? OpenError(errno, name) : XpWinError::Success;
        default:  // CreateAlways, OpenAlways
            for (int attempt = 0; attempt < 8; ++attempt) {
                *fd = openExisting();
                if (*fd >= 0) return XpWinError::Success;
                if (errno != ENOENT) return OpenError(errno, name);
                *fd = openat(dirFd, name.c_str(), flags | O_CREAT | O_EXCL, 0666);
                if (*fd >= 0) {
                    *created = true;
                    return XpWinError::Success;
                }
                if (errno != EEXIST) return OpenError(errno, name);
            }
            return XpWinError::SharingViolation;  // created and removed again, over and over
    }
}

uint32_t CloseWith(int fd, uint32_t error)
{
    close(fd);
    return error;
}

// lstat of a path given as UTF-16; 0 or the Windows error.
uint32_t LinkStatus(const XpChar* path, std::string* name, struct stat* status)
{
    if (path == nullptr) return XpWinError::InvalidParameter;
    *name = XpPosixToUtf8(path);
    if (name->empty()) return XpWinError::PathNotFound;
    if (lstat(name->c_str(), status) != 0) return XpPosixWinError(errno, *name);
    return XpWinError::Success;
}

bool IsLinkAt(int dirFd, const std::string& name)
{
    struct stat status;
    return fstatat(dirFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

bool LeadsToDirectory(const std::string& name)
{
    struct stat target;
    return stat(name.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
}
}  // namespace

uint32_t XpPlatformCreateFile(const XpChar* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                              uint32_t flagsAndAttributes, XpFileHandle* handle)
{
    if (handle == nullptr) return XpWinError::InvalidParameter;
    *handle = kXpInvalidFileHandle;
    if (path == nullptr) return XpWinError::InvalidParameter;
    return XpPosixCreateFileAt(AT_FDCWD, XpPosixToUtf8(path), 0, access, shareMode, disposition, flagsAndAttributes,
                               handle);
}

uint32_t XpPosixCreateFileAt(int dirFd, const std::string& name, int extraFlags, uint32_t access, uint32_t shareMode,
                             uint32_t disposition, uint32_t flagsAndAttributes, XpFileHandle* handle)
{
    *handle = kXpInvalidFileHandle;
    if (disposition < XpFileOpen::CreateNew || disposition > XpFileOpen::TruncateExisting)
        return XpWinError::InvalidParameter;
    const bool reads = (access & XpFileOpen::GenericRead) != 0;
    const bool writes = (access & XpFileOpen::GenericWrite) != 0;
    const bool truncates = disposition == XpFileOpen::CreateAlways || disposition == XpFileOpen::TruncateExisting;

    if (name.empty()) return XpWinError::PathNotFound;
    // Non-blocking only while opening, so that a named pipe in the way cannot hang the open.
    const int flags =
        (writes ? (reads ? O_RDWR : O_WRONLY) : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extraFlags;
    int fd = -1;
    bool created = false;
    uint32_t rc = OpenByDisposition(dirFd, name, flags, disposition, access == 0, &fd, &created);
    // A link where none may be followed: O_NOFOLLOW refuses it. (A new file's O_EXCL never
    // follows one either; that the name exists is answer enough there.)
    if (rc != XpWinError::Success && rc != XpWinError::FileExists && (extraFlags & O_NOFOLLOW) != 0 &&
        IsLinkAt(dirFd, name))
        return XpWinError::StoppedOnSymlink;
    if (rc != XpWinError::Success) return rc;

    struct stat status;
    if (fstat(fd, &status) != 0) return CloseWith(fd, XpPosixWinError(errno));
    if (S_ISLNK(status.st_mode)) return CloseWith(fd, XpWinError::StoppedOnSymlink);
    if (S_ISDIR(status.st_mode)) return CloseWith(fd, XpWinError::AccessDenied);
    // A read-only file is not written, whoever asks (the owner's write bit is the
    // read-only attribute): root would otherwise write through it.
    if (!created && (writes || truncates) && S_ISREG(status.st_mode) && IsReadOnlyMode(status.st_mode))
        return CloseWith(fd, XpWinError::AccessDenied);
    const int statusFlags = fcntl(fd, F_GETFL);
    const bool pathOnly = statusFlags != -1 && (statusFlags & O_PATH) != 0;
    if (!pathOnly && statusFlags != -1) fcntl(fd, F_SETFL, statusFlags & ~O_NONBLOCK);

    // The share mode comes before the truncation, so that an open refused for sharing
    // leaves the file as it was.
    if (!pathOnly && S_ISREG(status.st_mode)) {
        rc = XpPosixTakeShareMode(fd, access, shareMode);
        if (rc != XpWinError::Success) return CloseWith(fd, rc);
    }
    if (truncates && !created && status.st_size != 0) {
        if (writes) {
            if (ftruncate(fd, 0) != 0) return CloseWith(fd, XpPosixWinError(errno));
        } else {
            const int writer =
                openat(dirFd, name.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | extraFlags);
            if (writer < 0) return CloseWith(fd, XpPosixWinError(errno, name));
            close(writer);
        }
    }
    if (created && (flagsAndAttributes & XpFileAttr::ReadOnly) != 0)
        fchmod(fd, status.st_mode & 07777 & ~static_cast<mode_t>(0222));
    if (!pathOnly && (flagsAndAttributes & XpFileOpen::SequentialScan) != 0)
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    else if (!pathOnly && (flagsAndAttributes & XpFileOpen::RandomAccess) != 0)
        posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    *handle = fd;
    return XpWinError::Success;
}

uint32_t XpPlatformCloseFile(XpFileHandle handle)
{
    const int fd = Descriptor(handle);
    if (fd < 0) return XpWinError::InvalidHandle;
    // Linux releases the descriptor even when close reports EINTR; only EBADF is a failure.
    if (close(fd) != 0 && errno == EBADF) return XpWinError::InvalidHandle;
    return XpWinError::Success;
}

uint32_t XpPlatformReadFile(XpFileHandle handle, void* buffer, uint32_t size, uint32_t* done)
{
    if (done != nullptr) *done = 0;
    const int fd = Descriptor(handle);
    if (fd < 0) return XpWinError::InvalidHandle;
    if (buffer == nullptr && size != 0) return XpWinError::InvalidParameter;
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t total = 0;
    // A regular file gives all that is asked up to its end; the loop only splits reads
    // larger than one call may carry. A shorter answer (a pipe) ends the read, as
    // ReadFile's single call would.
    while (total < size) {
        const std::size_t ask = std::min<std::size_t>(size - total, kMaxTransfer);
        const ssize_t got = read(fd, bytes + total, ask);
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            if (done != nullptr) *done = static_cast<uint32_t>(total);
            return HandleError(fd, error);
        }
        total += static_cast<std::size_t>(got);
        if (static_cast<std::size_t>(got) < ask) break;
    }
    if (done != nullptr) *done = static_cast<uint32_t>(total);
    return XpWinError::Success;
}

uint32_t XpPlatformWriteFile(XpFileHandle handle, const void* buffer, uint32_t size, uint32_t* done)
{
    if (done != nullptr) *done = 0;
    const int fd = Descriptor(handle);
    if (fd < 0) return XpWinError::InvalidHandle;
    if (buffer == nullptr && size != 0) return XpWinError::InvalidParameter;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t total = 0;
    while (total < size) {
        const ssize_t put = write(fd, bytes + total, std::min<std::size_t>(size - total, kMaxTransfer));
        if (put < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            if (done != nullptr) *done = static_cast<uint32_t>(total);
            return error == EFBIG ? XpWinError::DiskFull : HandleError(fd, error);
        }
        if (put == 0) break;
        total += static_cast<std::size_t>(put);
    }
    if (done != nullptr) *done = static_cast<uint32_t>(total);
    return XpWinError::Success;
}

uint32_t XpPlatformSeekFile(XpFileHandle handle, int64_t offset, uint32_t origin, int64_t* newPosition)
{
    const int fd = Descriptor(handle);
    if (fd < 0) return XpWinError::InvalidHandle;
    if (origin > 2) return XpWinError::InvalidParameter;
    int64_t base = 0;
    if (origin == 1) {
        const off_t current = lseek(fd, 0, SEEK_CUR);
        if (current < 0) return HandleError(fd, errno);
        base = current;
    } else if (origin == 2) {
        struct stat status;
        if (fstat(fd, &status) != 0) return XpPosixWinError(errno);
        base = status.st_size;
    }
    int64_t target;
    if (__builtin_add_overflow(base, offset, &target)) return XpWinError::InvalidParameter;
    if (target < 0) return XpWinError::NegativeSeek;
    const off_t reached = lseek(fd, static_cast<off_t>(target), SEEK_SET);
    if (reached < 0) return HandleError(fd, errno);
    if (newPosition != nullptr) *newPosition = reached;
    return XpWinError::Success;
}

uint32_t XpPlatformSetEndOfFile(XpFileHandle handle)
{
    const int fd = Descriptor(handle);
    if (fd < 0) return XpWinError::InvalidHandle;
    const off_t position = lseek(fd, 0, SEEK_CUR);
    if (position < 0) return HandleError(fd, errno);
    if (ftruncate(fd, position) != 0) {
        const int error = errno;
        return error == EFBIG ? XpWinError::DiskFull : HandleError(fd, error);
    }
    return XpWinError::Success;
}

uint32_t XpPlatformGetFileSize(XpFileHandle handle, int64_t* size)
{
    const int fd = Descriptor(handle);
    if (fd < 0) return XpWinError::InvalidHandle;
    if (size == nullptr) return XpWinError::InvalidParameter;
    struct stat status;
    if (fstat(fd, &status) != 0) return XpPosixWinError(errno);
    *size = status.st_size;
    return XpWinError::Success;
}

uint32_t XpPlatformGetFileTimes(XpFileHandle handle, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite)
{
    const int fd = Descriptor(handle);
    if (fd < 0) return XpWinError::InvalidHandle;
    XpPosixFileInfo info;
    const int error = XpPosixStatAt(fd, "", AT_EMPTY_PATH, &info);
    if (error != 0) return XpPosixWinError(error);
    if (creation != nullptr) *creation = XpPosixToFileTime(info.creation);
    if (lastAccess != nullptr) *lastAccess = XpPosixToFileTime(info.access);
    if (lastWrite != nullptr) *lastWrite = XpPosixToFileTime(info.modification);
    return XpWinError::Success;
}

uint32_t XpPlatformSetFileTimes(XpFileHandle handle, const uint64_t* creation, const uint64_t* lastAccess,
                                const uint64_t* lastWrite)
{
    (void)creation;
    const int fd = Descriptor(handle);
    if (fd < 0) return XpWinError::InvalidHandle;
    // As on Windows, times are written only through a handle opened for writing.
    const int statusFlags = fcntl(fd, F_GETFL);
    if (statusFlags == -1) return XpPosixWinError(errno);
    if ((statusFlags & O_PATH) != 0 || (statusFlags & O_ACCMODE) == O_RDONLY) return XpWinError::AccessDenied;
    // A time of 0 leaves that time as it is, as SetFileTime does.
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = times[0];
    if (lastAccess != nullptr && *lastAccess != 0) times[0] = XpPosixFromFileTime(*lastAccess);
    if (lastWrite != nullptr && *lastWrite != 0) times[1] = XpPosixFromFileTime(*lastWrite);
    if (futimens(fd, times) != 0) return HandleError(fd, errno);
    return XpWinError::Success;
}

uint32_t XpPlatformGetAttributes(const XpChar* path, uint32_t* attributes)
{
    if (attributes == nullptr) return XpWinError::InvalidParameter;
    *attributes = XpFileAttr::Invalid;
    std::string name;
    struct stat status;
    const uint32_t rc = LinkStatus(path, &name, &status);
    if (rc != XpWinError::Success) return rc;
    *attributes = XpPosixAttributes(AT_FDCWD, name.c_str(), status.st_mode, XpPosixLastPathPart(name));
    return XpWinError::Success;
}

uint32_t XpPlatformSetAttributes(const XpChar* path, uint32_t attributes)
{
    std::string name;
    struct stat status;
    const uint32_t rc = LinkStatus(path, &name, &status);
    if (rc != XpWinError::Success) return rc;
    // Only read-only has a Linux form: no write bits at all, or the owner's write bit.
    // Hidden follows from the name and cannot be set; a symbolic link has no bits of its own.
    if (S_ISLNK(status.st_mode)) return XpWinError::Success;
    const mode_t mode = status.st_mode & 07777;
    const mode_t wanted = (attributes & XpFileAttr::ReadOnly) != 0 ? mode & ~static_cast<mode_t>(0222) : mode | S_IWUSR;
    if (wanted != mode && chmod(name.c_str(), wanted) != 0) return XpPosixWinError(errno, name);
    return XpWinError::Success;
}

uint32_t XpPlatformDeleteFile(const XpChar* path)
{
    std::string name;
    struct stat status;
    const uint32_t rc = LinkStatus(path, &name, &status);
    if (rc != XpWinError::Success) return rc;
    if (S_ISDIR(status.st_mode)) return XpWinError::AccessDenied;
    if (S_ISLNK(status.st_mode)) {
        // The link goes, never its target; a link to a directory is a directory here, as
        // a Windows directory link is, and goes with RemoveDirectory.
        if (LeadsToDirectory(name)) return XpWinError::AccessDenied;
        if (unlink(name.c_str()) != 0) return XpPosixWinError(errno, name);
        return XpWinError::Success;
    }
    // A read-only file is kept, so that callers clear the attribute first on both targets.
    if (IsReadOnlyMode(status.st_mode)) return XpWinError::AccessDenied;
    // Delete access is held across the unlink, so that no open denying delete slips in.
    int holder = -1;
    const uint32_t shared = XpPosixBeginDelete(AT_FDCWD, name.c_str(), &holder);
    if (shared != XpWinError::Success) return shared;
    const uint32_t result = unlink(name.c_str()) == 0 ? XpWinError::Success : XpPosixWinError(errno, name);
    if (holder >= 0) close(holder);
    return result;
}

uint32_t XpPlatformRemoveDirectory(const XpChar* path)
{
    std::string name;
    struct stat status;
    const uint32_t rc = LinkStatus(path, &name, &status);
    if (rc != XpWinError::Success) return rc;
    if (S_ISLNK(status.st_mode)) {
        // A link to a directory goes itself, with everything behind it left alone.
        if (!LeadsToDirectory(name)) return kXpPosixErrorDirectory;
        if (unlink(name.c_str()) != 0) return XpPosixWinError(errno, name);
        return XpWinError::Success;
    }
    if (!S_ISDIR(status.st_mode)) return kXpPosixErrorDirectory;
    if (rmdir(name.c_str()) != 0) {
        const int error = errno;
        return error == EEXIST ? XpWinError::DirNotEmpty : XpPosixWinError(error, name);
    }
    return XpWinError::Success;
}

bool XpPlatformIsDirectory(const XpChar* path)
{
    if (path == nullptr) return false;
    return LeadsToDirectory(XpPosixToUtf8(path));
}

int XpPlatformCrtMkdir(const XpChar* path)
{
    if (path == nullptr) return XpCrtErrno::Inval;
    if (mkdir(XpPosixToUtf8(path).c_str(), 0777) != 0) return XpPosixCrtErrno(errno);
    return 0;
}

int XpPlatformCrtCreateFile(const XpChar* path, bool mustBeNew)
{
    if (path == nullptr) return XpCrtErrno::Inval;
    const std::string name = XpPosixToUtf8(path);
    if (mustBeNew) {
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
        if (fd < 0) return XpPosixCrtErrno(errno);
        close(fd);
        return 0;
    }
    // The C run-time opens through CreateFile: a directory or a read-only file is
    // refused with EACCES, and so is a file held by an open that denies writers.
    struct stat status;
    if (stat(name.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return XpCrtErrno::Acces;
        if (S_ISREG(status.st_mode) && IsReadOnlyMode(status.st_mode)) return XpCrtErrno::Acces;
    }
    const int fd = open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) return errno == EISDIR ? XpCrtErrno::Acces : XpPosixCrtErrno(errno);
    const uint32_t rc = XpPosixTakeShareMode(fd, XpFileOpen::GenericRead | XpFileOpen::GenericWrite,
                                             XpFileOpen::ShareRead | XpFileOpen::ShareWrite);
    close(fd);
    return rc == XpWinError::Success ? 0 : XpCrtErrno::Acces;
}

bool XpPlatformStatTimes(const XpChar* path, int64_t* creation, int64_t* modification, int64_t* access)
{
    if (path == nullptr) return false;
    XpPosixFileInfo info;
    if (XpPosixStatAt(AT_FDCWD, XpPosixToUtf8(path).c_str(), 0, &info) != 0) return false;
    if (creation != nullptr) *creation = info.creation.tv_sec;
    if (modification != nullptr) *modification = info.modification.tv_sec;
    if (access != nullptr) *access = info.access.tv_sec;
    return true;
}

uint32_t XpPlatformGetDiskSpace(const XpChar* path, uint64_t* availableToCaller, uint64_t* total, uint64_t* free)
{
    if (path == nullptr) return XpWinError::InvalidParameter;
    const std::string name = XpPosixToUtf8(path);
    struct statvfs volume;
    if (name.empty()) return XpWinError::PathNotFound;
    if (statvfs(name.c_str(), &volume) != 0) return XpPosixWinError(errno, name);
    // The volume is asked through one of its directories, not through a file.
    if (!LeadsToDirectory(name)) return kXpPosixErrorDirectory;
    const uint64_t unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    if (availableToCaller != nullptr) *availableToCaller = static_cast<uint64_t>(volume.f_bavail) * unit;
    if (total != nullptr) *total = static_cast<uint64_t>(volume.f_blocks) * unit;
    if (free != nullptr) *free = static_cast<uint64_t>(volume.f_bfree) * unit;
    return XpWinError::Success;
}

uint32_t XpPlatformGetAllocationUnit(const XpChar* path, uint32_t* bytes)
{
    if (path == nullptr || bytes == nullptr) return XpWinError::InvalidParameter;
    const std::string name = XpPosixToUtf8(path);
    struct statvfs volume;
    if (name.empty()) return XpWinError::PathNotFound;
    if (statvfs(name.c_str(), &volume) != 0) return XpPosixWinError(errno, name);
    const unsigned long unit = volume.f_frsize != 0 ? volume.f_frsize : volume.f_bsize;
    if (unit == 0 || unit > UINT32_MAX) return XpWinError::InvalidFunction;
    *bytes = static_cast<uint32_t>(unit);
    return XpWinError::Success;
}
