#include "update/Sha1Hex.h"

#include <cstdint>

#include "platform/PlatformSha1.h"

XpString Sha1Hex(const XpString& text)
{
    const XpNarrowString bytes = text.ToNarrow();
    uint8_t digest[kXpSha1DigestSize];
    if (XpPlatformSha1(bytes.GetString(), static_cast<size_t>(bytes.GetLength()), digest) != 0) return XpString();
    XpString hex;
    for (uint8_t byte : digest) hex.AppendFormat(XP_T("%02x"), byte);
    return hex;
}
