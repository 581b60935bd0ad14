#include "platform/posix/PosixFileInfo.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/PlatformFiles.h"

namespace {
int FromStat(int dirFd, const char* path, int flags, XpPosixFileInfo* info)
{
    struct stat status;
    if (fstatat(dirFd, path, &status, flags) != 0) return errno;
    info->mode = status.st_mode;
    info->size = status.st_size;
    info->creation = status.st_ctim;
    info->access = status.st_atim;
    info->modification = status.st_mtim;
    return 0;
}

struct timespec FromStatx(const struct statx_timestamp& time)
{
    struct timespec result;
    result.tv_sec = static_cast<time_t>(time.tv_sec);
    result.tv_nsec = static_cast<long>(time.tv_nsec);
    return result;
}
}  // namespace

int XpPosixStatAt(int dirFd, const char* path, int flags, XpPosixFileInfo* info)
{
    struct statx status;
    if (statx(dirFd, path, flags | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &status) != 0) {
        if (errno == ENOSYS) return FromStat(dirFd, path, flags, info);
        return errno;
    }
    info->mode = status.stx_mode;
    info->size = static_cast<int64_t>(status.stx_size);
    info->creation = FromStatx((status.stx_mask & STATX_BTIME) != 0 ? status.stx_btime : status.stx_ctime);
    info->access = FromStatx(status.stx_atime);
    info->modification = FromStatx(status.stx_mtime);
    return 0;
}

uint32_t XpPosixAttributes(int dirFd, const char* path, mode_t lstatMode, std::string_view name)
{
    uint32_t attributes = 0;
    if (S_ISDIR(lstatMode)) attributes |= XpFileAttr::Directory;
    if (S_ISLNK(lstatMode)) {
        // The link's own permission bits mean nothing; whether it leads to a directory
        // decides how a walk and a delete treat it, as with a Windows directory link.
        attributes |= XpFileAttr::ReparsePoint;
        struct stat target;
        if (fstatat(dirFd, path, &target, 0) == 0 && S_ISDIR(target.st_mode)) attributes |= XpFileAttr::Directory;
    } else if ((lstatMode & S_IWUSR) == 0) {
        attributes |= XpFileAttr::ReadOnly;
    }
    if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= XpFileAttr::Hidden;
    return attributes == 0 ? XpFileAttr::Normal : attributes;
}

std::string_view XpPosixLastPathPart(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    if (path == "/") return std::string_view();
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}
