#pragma once
// The Linux code-signature verifier over OpenSSL, on any byte source, so that the
// platform service, the held package and the fuzzers share it. Internal to platform/posix
// (and the fuzzers).

#include <cstdint>
#include <string>

#include "platform/XpChar.h"
#include "platform/shared/XpExecutableImage.h"

// A file read by offset through one descriptor (pread), never read whole.
class XpPosixFdByteSource final : public XpByteSource {
public:
    XpPosixFdByteSource(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t size) const override;

private:
    int m_fd;
    uint64_t m_size;
};

// Checks the signature of a PE file or of a file with an appended signature. With
// checkTrust false only the signer is read: digest, signature and chain are not checked.
// extraRoots (UTF-8, empty for none) names a folder of further trusted roots. Returns 0
// or an XpTrustError number; signer gets the signer's simple display name whenever the
// signature could be read, even when the check then fails.
uint32_t XpPosixVerifySignature(const XpByteSource& file, bool checkTrust, const std::string& extraRoots,
                                XpPlatformString* signer);
