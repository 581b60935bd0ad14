// Feeds arbitrary bytes as a package to the signed-image parser and the whole Linux
// signature check. The layout's ranges must lie inside the file, in order and apart; the
// check must refuse anything that is not a validly signed file, without reading out of
// bounds (the address sanitizer watches the reads).

#include <cstddef>
#include <cstdint>
#include <string>

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
    const XpMemoryByteSource file(data, size);
    XpPeSignatureLayout layout;
    const XpPeLayoutResult result = XpReadPeSignatureLayout(file, layout);
    if (result == XpPeLayoutResult::Signed || result == XpPeLayoutResult::Unsigned) {
        uint64_t end = 0;
        for (const XpByteRange& range : layout.digested) {
            Check(range.offset >= end && range.offset <= size && range.size <= size - range.offset);
            end = range.offset + range.size;
        }
    }
    if (result == XpPeLayoutResult::Signed) {
        Check(layout.certTable.offset + layout.certTable.size == size);
        Check(layout.signature.offset >= layout.certTable.offset &&
              layout.signature.offset + layout.signature.size <= size);
    }
    XpPlatformString signer;
    XpPosixVerifySignature(file, true, std::string(), &signer);
    return 0;
}
