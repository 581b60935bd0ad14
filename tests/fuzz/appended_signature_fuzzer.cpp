// Feeds arbitrary bytes as a package that may end in an appended module signature. A
// trailer that is accepted must describe a signature and content that tile the file up to
// the record exactly.

#include <cstddef>
#include <cstdint>

#include "platform/shared/XpSignedImage.h"

namespace {

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    XpByteRange content;
    XpByteRange signature;
    if (XpReadAppendedSignature(XpMemoryByteSource(data, size), content, signature)) {
        Check(content.offset == 0 && content.size == signature.offset);
        Check(signature.size > 0 && signature.size <= kXpMaxSignatureBytes);
        Check(signature.offset + signature.size + kXpModuleSignatureRecordSize + kXpModuleSignatureMagicSize == size);
    }
    return 0;
}
