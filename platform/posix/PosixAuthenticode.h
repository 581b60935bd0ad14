#pragma once
// The Linux code-signature verifier over OpenSSL, on any byte source, so that the
// platform service, the held package and the fuzzers share it. Internal to platform/posix
// (and the fuzzers).

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/XpChar.h"
#include "platform/shared/XpExecutableImage.h"

// Checks the signature of a PE file or of a file with an appended signature. With
// checkTrust false only the signer is read: digest, signature and chain are not checked.
// extraRoots (UTF-8, empty for none) names a folder of further trusted roots. Returns 0
// or an XpTrustError number; signer gets the signer's simple display name whenever the
// signature could be read, even when the check then fails.
uint32_t XpPosixVerifySignature(const XpByteSource& file, bool checkTrust, const std::string& extraRoots,
                                XpPlatformString* signer);

// The signing time (seconds since 1970) that the timestamps of a DER PKCS #7 signature's
// one signer give: that of a valid RFC 3161 timestamp, else of a valid PKCS #9
// countersignature; -1 when there is none. The signature itself is not checked here.
int64_t XpPosixSigningTime(const unsigned char* signature, size_t size, const std::string& extraRoots);
