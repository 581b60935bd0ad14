// Feeds arbitrary bytes as a PKCS #7 signature: to the reader of an SpcIndirectDataContent
// and DER elements, and, appended in the module-signature format to a few bytes of content,
// to the whole Linux signature check (PKCS #7 parse, signer, signature over the content),
// and to the walk of its timestamps (RFC 3161 tokens, PKCS #9 countersignatures).
// Anything malformed must be refused without a read out of bounds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/PosixAuthenticode.h"
#include "platform/shared/XpSignedImage.h"

namespace {

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    XpIndirectDigest digest;
    if (XpReadIndirectDigest(data, size, digest)) {
        Check(!digest.algorithm.empty() && digest.algorithm.size() < size);
        Check(!digest.digest.empty() && digest.digest.size() < size);
    }
    unsigned char tag = 0;
    size_t header = 0;
    size_t length = 0;
    if (XpDerElement(data, size, &tag, &header, &length)) Check(header + length <= size);

    std::vector<unsigned char> package = {'c', 'o', 'n', 't', 'e', 'n', 't'};
    package.insert(package.end(), data, data + size);
    const unsigned char record[kXpModuleSignatureRecordSize] = {0,
                                                                0,
                                                                kXpModuleSignatureIdPkcs7,
                                                                0,
                                                                0,
                                                                0,
                                                                0,
                                                                0,
                                                                static_cast<unsigned char>(size >> 24),
                                                                static_cast<unsigned char>(size >> 16),
                                                                static_cast<unsigned char>(size >> 8),
                                                                static_cast<unsigned char>(size)};
    package.insert(package.end(), record, record + sizeof record);
    package.insert(package.end(), kXpModuleSignatureMagic, kXpModuleSignatureMagic + kXpModuleSignatureMagicSize);
    XpPlatformString signer;
    XpPosixVerifySignature(XpMemoryByteSource(package.data(), package.size()), true, std::string(), &signer);
    // The timestamps in the signer's unauthenticated attributes, which the whole check
    // reads only after a valid signature.
    XpPosixSigningTime(data, size, std::string());
    return 0;
}
