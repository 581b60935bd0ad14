// Feeds arbitrary bytes to the version reader twice: as an executable file in which to
// find the version block (PE resource or ELF section), and as a version block itself, in
// which every string is looked up through the translation table and the fixed
// combinations. Every value found must lie inside the block.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "foundation/version/XpVersionInfo.h"
#include "platform/shared/XpExecutableImage.h"
#include "platform/shared/XpVersionBlock.h"

namespace {

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

void QueryAll(const std::vector<unsigned char>& block)
{
    const XpChar* paths[] = {XP_T("\\"), XP_T("\\VarFileInfo\\Translation"),
                             XP_T("\\StringFileInfo\\040904b0\\FileVersion"),
                             XP_T("\\StringFileInfo\\040904E4\\ProductVersion")};
    for (const XpChar* path : paths) {
        XpVersionValue value;
        if (!XpVersionBlockQuery(block.data(), block.size(), path, &value)) continue;
        // The length counts characters of a text and bytes of anything else: either way
        // no more units than bytes are left (the reads themselves are the sanitizer's).
        Check(value.data >= block.data());
        Check(static_cast<size_t>(value.data - block.data()) + value.length <= block.size());
    }
    const XpString text = GetVersionBlockString(block, XP_T("FileVersion"), 1252);
    Check(text.GetLength() <= 255);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<unsigned char> block;
    if (XpFindVersionBlock(XpMemoryByteSource(data, size), block)) {
        Check(!block.empty() && block.size() <= kXpMaxVersionBlock && block.size() <= size);
        QueryAll(block);
    }
    QueryAll(std::vector<unsigned char>(data, data + size));
    return 0;
}
