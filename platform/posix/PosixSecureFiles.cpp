// Link-safe folder and file work on Linux: every name is looked up once, relative to a
// folder descriptor, never following a link in its last part (openat with O_NOFOLLOW,
// fstatat without following, unlinkat), and private folders are checked by descriptor.

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>
#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformSecureFiles.h"
#include "platform/posix/PosixCommon.h"
#include "platform/posix/PosixFileInfo.h"
#include "platform/posix/PosixFileOpen.h"
#include "platform/posix/PosixShareModes.h"

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Opens a folder by path. One that this user may enter but not list still serves as the
// base of work relative to it, through a path descriptor.
int OpenFolderByPath(const char* path)
{
    const int fd = open(path, kFolderFlags);
    if (fd >= 0 || errno != EACCES) return fd;
    const int base = open(path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (base < 0) errno = EACCES;
    return base;
}
constexpr mode_t kPrivateMode = 0700;

struct Folder {
    int fd = -1;
    DIR* listing = nullptr;  // made on the first read, from a copy of fd
};

Folder* FolderOf(XpFolderHandle handle)
{
    return reinterpret_cast<Folder*>(handle);
}

uint32_t HandOut(int fd, XpFolderHandle* folder)
{
    auto* state = new (std::nothrow) Folder;
    if (state == nullptr) {
        close(fd);
        return XpWinError::NotEnoughMemory;
    }
    state->fd = fd;
    *folder = reinterpret_cast<XpFolderHandle>(state);
    return XpWinError::Success;
}

// A name of one part: not empty, no separator, not "." or "..", which would lead out of
// the folder it is looked up in.
bool IsOneName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The open folder and the entry name of a call that works relative to a folder.
uint32_t EntryOf(XpFolderHandle parent, const XpChar* name, Folder** state, std::string* text)
{
    *state = FolderOf(parent);
    if (*state == nullptr) return XpWinError::InvalidHandle;
    if (name == nullptr) return XpWinError::InvalidParameter;
    *text = XpPosixToUtf8(name);
    return IsOneName(*text) ? XpWinError::Success : XpWinError::InvalidParameter;
}

bool IsLinkAt(int dirFd, const std::string& name)
{
    struct stat status;
    return fstatat(dirFd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

// Why openat of a folder failed: a link there, a file there, or nothing there.
uint32_t FolderOpenError(int error, int dirFd, const std::string& name)
{
    if (IsLinkAt(dirFd, name)) return XpWinError::StoppedOnSymlink;
    if (error == ENOTDIR) return kXpPosixErrorDirectory;
    if (error == ENOENT) return XpWinError::PathNotFound;
    return XpPosixWinError(error);
}

// The folder and last part of a path, trailing separators ignored: "a/b" gives "a" and
// "b", "/b" gives "/" and "b", "b" gives "." and "b".
void SplitLast(std::string path, std::string* folder, std::string* last)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        folder->assign(".");
        last->swap(path);
    } else {
        last->assign(path, slash + 1, std::string::npos);
        path.resize(slash == 0 ? 1 : slash);
        folder->swap(path);
    }
}

// Opens the folder part of path and gives the last part.
uint32_t OpenFolderOf(const XpChar* path, int* dirFd, std::string* last)
{
    if (path == nullptr) return XpWinError::InvalidParameter;
    const std::string name = XpPosixToUtf8(path);
    if (name.empty()) return XpWinError::PathNotFound;
    std::string folder;
    SplitLast(name, &folder, last);
    if (!IsOneName(*last)) return XpWinError::InvalidParameter;
    *dirFd = OpenFolderByPath(folder.c_str());
    if (*dirFd < 0) return errno == ENOENT || errno == ENOTDIR ? XpWinError::PathNotFound : XpPosixWinError(errno);
    return XpWinError::Success;
}

}  // namespace

uint32_t XpPlatformOpenFolder(const XpChar* path, XpFolderHandle* folder)
{
    if (folder == nullptr) return XpWinError::InvalidParameter;
    *folder = kXpInvalidFolderHandle;
    if (path == nullptr) return XpWinError::InvalidParameter;
    const std::string name = XpPosixToUtf8(path);
    if (name.empty()) return XpWinError::PathNotFound;
    const int fd = OpenFolderByPath(name.c_str());
    if (fd < 0) {
        if (errno == ENOENT) return XpWinError::PathNotFound;
        return errno == ENOTDIR ? kXpPosixErrorDirectory : XpPosixWinError(errno, name);
    }
    return HandOut(fd, folder);
}

uint32_t XpPlatformOpenFolderAt(XpFolderHandle parent, const XpChar* name, XpFolderHandle* folder)
{
    if (folder == nullptr) return XpWinError::InvalidParameter;
    *folder = kXpInvalidFolderHandle;
    Folder* state = nullptr;
    std::string text;
    const uint32_t rc = EntryOf(parent, name, &state, &text);
    if (rc != XpWinError::Success) return rc;
    const int fd = openat(state->fd, text.c_str(), kFolderFlags | O_NOFOLLOW);
    if (fd < 0) return FolderOpenError(errno, state->fd, text);
    return HandOut(fd, folder);
}

uint32_t XpPlatformCloseFolder(XpFolderHandle folder)
{
    Folder* state = FolderOf(folder);
    if (state == nullptr) return XpWinError::InvalidHandle;
    if (state->listing != nullptr) closedir(state->listing);
    close(state->fd);
    delete state;
    return XpWinError::Success;
}

uint32_t XpPlatformReadFolder(XpFolderHandle folder, XpFolderEntry* entry)
{
    Folder* state = FolderOf(folder);
    if (state == nullptr) return XpWinError::InvalidHandle;
    if (entry == nullptr) return XpWinError::InvalidParameter;
    if (state->listing == nullptr) {
        // The listing reads from a descriptor of its own, so that the folder's own stays
        // free for the work relative to it.
        const int copy = fcntl(state->fd, F_DUPFD_CLOEXEC, 0);
        if (copy < 0) return XpPosixWinError(errno);
        state->listing = fdopendir(copy);
        if (state->listing == nullptr) {
            const int error = errno;
            close(copy);
            // A folder opened only as a base (see OpenFolderByPath) cannot be listed.
            return error == EBADF ? XpWinError::AccessDenied : XpPosixWinError(error);
        }
    }
    constexpr std::size_t kCapacity = sizeof(entry->name) / sizeof(entry->name[0]);
    for (;;) {
        errno = 0;
        const struct dirent* found = readdir(state->listing);
        if (found == nullptr) return errno == 0 ? XpWinError::NoMoreFiles : XpPosixWinError(errno);
        const std::string name(found->d_name);
        if (name == "." || name == "..") continue;
        const XpPlatformString text = XpPosixFromUtf8(name);
        // An entry removed since the listing was read is passed over; a name longer than
        // the record is too (Linux names stay far below it).
        struct stat status;
        if (text.size() >= kCapacity || fstatat(state->fd, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
        entry->attributes = XpPosixAttributes(state->fd, name.c_str(), status.st_mode, name);
        text.copy(entry->name, text.size());
        entry->name[text.size()] = 0;
        return XpWinError::Success;
    }
}

uint32_t XpPlatformDeleteAt(XpFolderHandle parent, const XpChar* name)
{
    Folder* state = nullptr;
    std::string text;
    const uint32_t rc = EntryOf(parent, name, &state, &text);
    if (rc != XpWinError::Success) return rc;
    struct stat status;
    if (fstatat(state->fd, text.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return XpPosixWinError(errno);
    if (S_ISDIR(status.st_mode)) return XpWinError::AccessDenied;
    // A file held by an open that denies deleting stays; delete access is held across the
    // unlink, so that no such open slips in. Linux needs no write permission to remove a
    // read-only file.
    int holder = -1;
    const uint32_t shared = XpPosixBeginDelete(state->fd, text.c_str(), &holder);
    if (shared != XpWinError::Success) return shared;
    // unlinkat removes the name itself: a link goes without its target, and a folder put
    // in the file's place since is refused.
    uint32_t result = XpWinError::Success;
    if (unlinkat(state->fd, text.c_str(), 0) != 0)
        result = errno == EISDIR ? XpWinError::AccessDenied : XpPosixWinError(errno);
    if (holder >= 0) close(holder);
    return result;
}

uint32_t XpPlatformRemoveFolderAt(XpFolderHandle parent, const XpChar* name, XpFolderHandle folder)
{
    XpPlatformCloseFolder(folder);
    Folder* state = nullptr;
    std::string text;
    const uint32_t rc = EntryOf(parent, name, &state, &text);
    if (rc != XpWinError::Success) return rc;
    // AT_REMOVEDIR removes an empty folder only, and never through a link.
    if (unlinkat(state->fd, text.c_str(), AT_REMOVEDIR) == 0) return XpWinError::Success;
    const int error = errno;
    if (error == EEXIST || error == ENOTEMPTY) return XpWinError::DirNotEmpty;
    if (error == ENOTDIR) return kXpPosixErrorDirectory;
    return XpPosixWinError(error);
}

uint32_t XpPlatformCreateFileAt(XpFolderHandle parent, const XpChar* name, uint32_t access, uint32_t shareMode,
                                uint32_t disposition, uint32_t flagsAndAttributes, XpFileHandle* handle)
{
    if (handle == nullptr) return XpWinError::InvalidParameter;
    *handle = kXpInvalidFileHandle;
    Folder* state = nullptr;
    std::string text;
    const uint32_t rc = EntryOf(parent, name, &state, &text);
    if (rc != XpWinError::Success) return rc;
    return XpPosixCreateFileAt(state->fd, text, O_NOFOLLOW, access, shareMode, disposition, flagsAndAttributes, handle);
}

uint32_t XpPlatformCreateFileNoFollow(const XpChar* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                                      uint32_t flagsAndAttributes, XpFileHandle* handle)
{
    if (handle == nullptr) return XpWinError::InvalidParameter;
    *handle = kXpInvalidFileHandle;
    int dirFd = -1;
    std::string last;
    const uint32_t rc = OpenFolderOf(path, &dirFd, &last);
    if (rc != XpWinError::Success) return rc;
    const uint32_t result =
        XpPosixCreateFileAt(dirFd, last, O_NOFOLLOW, access, shareMode, disposition, flagsAndAttributes, handle);
    close(dirFd);
    return result;
}

uint32_t XpPlatformCreatePrivateFolder(const XpChar* path, XpFolderHandle* held)
{
    if (held != nullptr) *held = kXpInvalidFolderHandle;
    int dirFd = -1;
    std::string last;
    uint32_t rc = OpenFolderOf(path, &dirFd, &last);
    if (rc != XpWinError::Success) return rc;
    if (mkdirat(dirFd, last.c_str(), kPrivateMode) != 0 && errno != EEXIST) {
        rc = XpPosixWinError(errno);
        close(dirFd);
        return rc;
    }
    // Whatever stands there now, made by this call or found, is checked through the
    // descriptor that later work would use, never by name again.
    const int fd = openat(dirFd, last.c_str(), kFolderFlags | O_NOFOLLOW);
    if (fd < 0) {
        const int error = errno;
        rc = IsLinkAt(dirFd, last) ? XpWinError::StoppedOnSymlink
             : error == ENOTDIR    ? XpWinError::AlreadyExists
                                   : XpPosixWinError(error);
        close(dirFd);
        return rc;
    }
    close(dirFd);
    struct stat status;
    if (fstat(fd, &status) != 0)
        rc = XpPosixWinError(errno);
    else if (status.st_uid != geteuid())
        rc = XpWinError::InvalidOwner;
    else if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        rc = XpWinError::InvalidSecurityDescr;
    else if ((status.st_mode & 07777) != kPrivateMode && fchmod(fd, kPrivateMode) != 0)
        rc = XpPosixWinError(errno);
    if (rc == XpWinError::Success && held != nullptr) return HandOut(fd, held);
    close(fd);
    return rc;
}
