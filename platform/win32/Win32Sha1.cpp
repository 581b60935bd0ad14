// SHA-1 on Windows: a CryptoAPI hash object of the default RSA provider.

#include <windows.h>
//
#include <wincrypt.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformSha1.h"

uint32_t XpPlatformSha1(const void* data, size_t size, uint8_t digest[kXpSha1DigestSize])
{
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        return GetLastError();
    }
    HCRYPTHASH hash = 0;
    uint32_t error = XpWinError::Success;
    if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
        error = GetLastError();
    } else {
        // CryptHashData takes a 32-bit count: larger inputs go in pieces.
        const auto* bytes = static_cast<const BYTE*>(data);
        while (error == XpWinError::Success && size > 0) {
            const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
            if (!CryptHashData(hash, bytes, piece, 0)) error = GetLastError();
            bytes += piece;
            size -= piece;
        }
        DWORD length = kXpSha1DigestSize;
        if (error == XpWinError::Success && !CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0)) {
            error = GetLastError();
        }
        if (error == XpWinError::Success && length != kXpSha1DigestSize) error = XpWinError::InvalidParameter;
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return error;
}
