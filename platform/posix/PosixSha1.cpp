// SHA-1 on Linux: OpenSSL's EVP digests.

#include <openssl/evp.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformSha1.h"

uint32_t XpPlatformSha1(const void* data, size_t size, uint8_t digest[kXpSha1DigestSize])
{
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr) return XpWinError::NotEnoughMemory;
    unsigned int length = 0;
    const bool done = EVP_DigestInit_ex(context, EVP_sha1(), nullptr) == 1 &&
                      EVP_DigestUpdate(context, data, size) == 1 && EVP_DigestFinal_ex(context, digest, &length) == 1;
    EVP_MD_CTX_free(context);
    if (!done) return XpWinError::GenFailure;
    return length == kXpSha1DigestSize ? XpWinError::Success : XpWinError::InvalidParameter;
}
