// GUIDs on Linux: random bits from the kernel in the version-4 layout.

#include <errno.h>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cstdint>

#include "platform/PlatformGuid.h"

namespace {

bool RandomBytes(uint8_t* bytes, std::size_t count)
{
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = getrandom(bytes + done, count - done, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    if (done == count) return true;
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (done < count) {
        const ssize_t got = read(fd, bytes + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    close(fd);
    return done == count;
}

}  // namespace

bool XpPlatformNewGuidString(XpPlatformString& out)
{
    out.clear();
    uint8_t bytes[16];
    if (!RandomBytes(bytes, sizeof bytes)) return false;
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
    static const char kDigits[] = "0123456789ABCDEF";
    out += XpChar('{');
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += XpChar('-');
        out += static_cast<XpChar>(kDigits[bytes[i] >> 4]);
        out += static_cast<XpChar>(kDigits[bytes[i] & 0xF]);
    }
    out += XpChar('}');
    return true;
}
