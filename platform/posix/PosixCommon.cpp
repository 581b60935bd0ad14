#include "platform/posix/PosixCommon.h"

#include <errno.h>
#include <sys/stat.h>

#include "platform/PlatformErrors.h"
#include "platform/shared/XpCalendar.h"
#include "platform/shared/XpUtf.h"

std::string XpPosixToUtf8(const XpChar* text, std::ptrdiff_t length)
{
    if (text == nullptr) return std::string();
    const size_t count = length < 0 ? std::char_traits<XpChar>::length(text) : static_cast<size_t>(length);
    return XpUtf16ToUtf8(text, count);
}

XpPlatformString XpPosixFromUtf8(const char* text, std::size_t length)
{
    return XpUtf8ToUtf16(text, length);
}

uint32_t XpPosixWinError(int error, const std::string& path)
{
    switch (error) {
        case 0:
            return XpWinError::Success;
        case ENOENT: {
            if (!path.empty()) {
                // "folder/missing/" names the entry "missing": trailing separators do not count.
                std::size_t end = path.size();
                while (end > 1 && path[end - 1] == '/') --end;
                const std::size_t slash = path.find_last_of('/', end - 1);
                if (slash != std::string::npos && slash > 0) {
                    struct stat info;
                    if (stat(path.substr(0, slash).c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
                        return XpWinError::PathNotFound;
                }
            }
            return XpWinError::FileNotFound;
        }
        case ENOTDIR:
            return XpWinError::PathNotFound;
        case EACCES:
        case EPERM:
        case EISDIR:
            return XpWinError::AccessDenied;
        case EEXIST:
            return XpWinError::AlreadyExists;
        case ENOTEMPTY:
            return XpWinError::DirNotEmpty;
        case ENOSPC:
        case EDQUOT:
            return XpWinError::DiskFull;
        case EMFILE:
        case ENFILE:
            return XpWinError::TooManyOpenFiles;
        case EBUSY:
        case ETXTBSY:
        case EWOULDBLOCK:
            return XpWinError::SharingViolation;
        case EROFS:
            return XpWinError::WriteProtect;
        case ENAMETOOLONG:
            return XpWinError::FilenameExcedRange;
        case EINVAL:
            return XpWinError::InvalidParameter;
        case ENOMEM:
            return XpWinError::NotEnoughMemory;
        case EXDEV:
            return XpWinError::NotSameDevice;
        case EBADF:
            return XpWinError::InvalidHandle;
        case ENODEV:
        case ENXIO:
            return XpWinError::DevNotExist;
        case ENOTSUP:
            return XpWinError::NotSupported;
        default:
            return XpWinError::GenFailure;
    }
}

int XpPosixCrtErrno(int error)
{
    switch (error) {
        case ENOENT:
            return XpCrtErrno::NoEnt;
        case EBADF:
            return XpCrtErrno::BadF;
        case ENOMEM:
            return XpCrtErrno::NoMem;
        case EACCES:
        case EPERM:
            return XpCrtErrno::Acces;
        case EEXIST:
            return XpCrtErrno::Exist;
        // A file where a folder of the path should be: the Windows C run-time reports
        // such a path as not found.
        case ENOTDIR:
            return XpCrtErrno::NoEnt;
        case EISDIR:
            return XpCrtErrno::IsDir;
        case EINVAL:
            return XpCrtErrno::Inval;
        case EMFILE:
        case ENFILE:
            return XpCrtErrno::MFile;
        case ENOSPC:
        case EDQUOT:
            return XpCrtErrno::NoSpc;
        case EROFS:
            return XpCrtErrno::RoFs;
        case ENAMETOOLONG:
            return XpCrtErrno::NameTooLong;
        default:
            return XpCrtErrno::Other;
    }
}

uint64_t XpPosixToFileTime(const struct timespec& time)
{
    return XpCalendar::FileTimeFromUnix(time.tv_sec, time.tv_nsec);
}

struct timespec XpPosixFromFileTime(uint64_t fileTime)
{
    int64_t seconds = 0;
    int32_t nanoseconds = 0;
    XpCalendar::UnixFromFileTime(fileTime, &seconds, &nanoseconds);
    struct timespec time;
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = nanoseconds;
    return time;
}
