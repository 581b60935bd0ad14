#include "platform/posix/PosixByteSource.h"

#include <errno.h>
#include <unistd.h>

bool XpPosixFdByteSource::ReadAt(uint64_t offset, void* buffer, size_t size) const
{
    if (offset > m_size || size > m_size - offset) return false;
    auto* out = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        const ssize_t done = pread(m_fd, out, size, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        out += done;
        offset += static_cast<uint64_t>(done);
        size -= static_cast<size_t>(done);
    }
    return true;
}
