#pragma once
// SHA-1 digests of bytes.
// Windows: CryptoAPI (a PROV_RSA_FULL context without key containers, CALG_SHA1).
// Linux: OpenSSL's EVP digest interface.

#include <cstddef>
#include <cstdint>

inline constexpr size_t kXpSha1DigestSize = 20;

// Hashes size bytes at data into digest (kXpSha1DigestSize bytes). 0, or the Windows
// error number of the step that failed; digest is then left undefined.
uint32_t XpPlatformSha1(const void* data, size_t size, uint8_t digest[kXpSha1DigestSize]);
