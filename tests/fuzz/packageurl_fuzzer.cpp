// Reads arbitrary answer bodies as the update check does, and takes the package file name
// from what they give: a URL is trimmed and begins with a scheme, and a file name is
// empty or plain, with a name and an extension that each fit the splitting buffers.

#include <cstddef>
#include <cstdint>

#include "update/PackageUrl.h"

namespace {

void Check(bool condition)
{
    if (!condition) __builtin_trap();
}

bool IsBlank(XpChar c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    XpString url;
    const bool isUrl = PackageUrlFromBody(reinterpret_cast<const char*>(data), size, url);
    Check(isUrl == IsUrl(url));
    if (!url.IsEmpty()) {
        Check(!IsBlank(url.GetString()[0]));
        Check(!IsBlank(url.GetString()[url.GetLength() - 1]));
    }
    const XpString name = PackageFileNameFromUrl(url);
    if (!name.IsEmpty()) {
        Check(IsPlainFileName(name));
        int32_t dot = name.GetLength();
        for (int32_t i = name.GetLength(); i > 0; --i) {
            if (name.GetString()[i - 1] == '.') {
                dot = i - 1;
                break;
            }
        }
        Check(dot <= 255 && name.GetLength() - dot <= 255);
        for (int32_t i = 0; i < name.GetLength(); ++i) Check(name.GetString()[i] != '/' && name.GetString()[i] != '?');
    }
    return 0;
}
