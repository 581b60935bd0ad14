// The running program's path and the version block of executable files on Linux: the
// program's path is the target of /proc/self/exe, which the kernel keeps whatever the
// program was started with; the block is read by the shared reader from a PE file's
// version resource or from the section in which a Linux executable carries its own.

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/PlatformErrors.h"
#include "platform/PlatformVersion.h"
#include "platform/posix/PosixByteSource.h"
#include "platform/posix/PosixCommon.h"
#include "platform/shared/XpExecutableImage.h"

namespace {

constexpr size_t kFirstPathBuffer = 4096;
constexpr size_t kLargestPathBuffer = 65536;

}  // namespace

uint32_t XpPlatformModulePath(XpPlatformString& path)
{
    // readlink does not say whether it cut the name: a name that fills the buffer is asked
    // again with a larger one, and one that fills the largest counts as a failure.
    for (size_t capacity = kFirstPathBuffer; capacity <= kLargestPathBuffer; capacity *= 2) {
        std::string buffer(capacity, '\0');
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), capacity);
        if (length < 0) return XpPosixWinError(errno);
        if (static_cast<size_t>(length) < capacity) {
            path = XpPosixFromUtf8(buffer.data(), static_cast<size_t>(length));
            return XpWinError::Success;
        }
    }
    return XpWinError::FilenameExcedRange;
}

uint32_t XpPlatformReadVersionBlock(const XpChar* path, std::vector<unsigned char>& block)
{
    block.clear();
    if (path == nullptr) return XpWinError::InvalidParameter;
    const std::string name = XpPosixToUtf8(path);
    const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return XpPosixWinError(errno, name);
    struct stat info {};
    uint32_t rc = XpWinError::Success;
    if (fstat(fd, &info) != 0) {
        rc = XpPosixWinError(errno);
    } else if (!S_ISREG(info.st_mode)) {
        rc = XpWinError::AccessDenied;
    } else {
        const XpPosixFdByteSource file(fd, static_cast<uint64_t>(info.st_size));
        if (!XpFindVersionBlock(file, block)) {
            block.clear();
            rc = XpWinError::ResourceTypeNotFound;
        }
    }
    close(fd);
    return rc;
}

bool XpPlatformQueryVersionBlock(const std::vector<unsigned char>& block, const XpChar* subBlock, XpVersionValue* value)
{
    return XpVersionBlockQuery(block.data(), block.size(), subBlock, value);
}
