#include "platform/posix/PosixCommon.h"

#include <errno.h>
#include <sys/stat.h>

#include "platform/PlatformErrors.h"
#include "platform/shared/XpCalendar.h"

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(XpPlatformString& out, char32_t c)
{
    if (c < 0x10000) {
        out += static_cast<XpChar>(c);
    } else {
        c -= 0x10000;
        out += static_cast<XpChar>(0xD800 + (c >> 10));
        out += static_cast<XpChar>(0xDC00 + (c & 0x3FF));
    }
}
}  // namespace

std::string XpPosixToUtf8(const XpChar* text, std::ptrdiff_t length)
{
    std::string out;
    if (text == nullptr) return out;
    if (length < 0) {
        length = 0;
        while (text[length] != 0) ++length;
    }
    out.reserve(static_cast<std::size_t>(length));
    for (std::ptrdiff_t i = 0; i < length; ++i) {
        char32_t c = static_cast<uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length) {
            const char32_t low = static_cast<uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = kReplacement;
            }
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        AppendUtf8(out, c);
    }
    return out;
}

XpPlatformString XpPosixFromUtf8(const char* text, std::size_t length)
{
    XpPlatformString out;
    out.reserve(length);
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < length) {
        const unsigned char b = bytes[i];
        int extra;
        char32_t c;
        if (b < 0x80) {
            extra = 0;
            c = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            c = b & 0x07;
        } else {
            out += static_cast<XpChar>(kReplacement);
            ++i;
            continue;
        }
        std::size_t j = 1;
        for (; j <= static_cast<std::size_t>(extra) && i + j < length; ++j) {
            const unsigned char next = bytes[i + j];
            if ((next & 0xC0) != 0x80) break;
            c = (c << 6) | (next & 0x3F);
        }
        const bool complete = j == static_cast<std::size_t>(extra) + 1;
        const bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
        const bool invalid = (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF;
        if (!complete || overlong || invalid) {
            out += static_cast<XpChar>(kReplacement);
            i += complete ? j : (j > 1 ? j : 1);
            continue;
        }
        AppendUtf16(out, c);
        i += j;
    }
    return out;
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
