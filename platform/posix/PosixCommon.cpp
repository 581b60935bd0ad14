#include "platform/posix/PosixCommon.h"

#include <errno.h>
#include <sys/stat.h>

#include "platform/PlatformErrors.h"
#include "platform/shared/XpUtf.h"

namespace {
constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;  // 1970-01-01 in 100 ns since 1601
}  // namespace

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
    const int64_t ticks = static_cast<int64_t>(time.tv_sec) * 10000000 + time.tv_nsec / 100;
    return static_cast<uint64_t>(ticks + static_cast<int64_t>(kUnixEpochAsFileTime));
}

struct timespec XpPosixFromFileTime(uint64_t fileTime)
{
    const int64_t ticks = static_cast<int64_t>(fileTime) - static_cast<int64_t>(kUnixEpochAsFileTime);
    int64_t seconds = ticks / 10000000;
    int64_t rest = ticks % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    struct timespec time;
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = static_cast<long>(rest * 100);
    return time;
}
