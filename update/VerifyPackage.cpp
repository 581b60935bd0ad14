#include "update/VerifyPackage.h"

#include <cstring>

#include "foundation/files/XpFile.h"
#include "foundation/files/XpFileOperation.h"
#include "platform/PlatformCodeSignature.h"

namespace {

const XpChar* OrNull(const XpString& text)
{
    return text.GetLength() > 0 ? text.GetString() : nullptr;
}

}  // namespace

bool IsExpectedSigner(const XpChar* name)
{
    return name != nullptr && XpString(name) == XpString(kExpectedSigner);
}

uint64_t PackageFileSize(const XpString& path)
{
    int64_t size = 0;
    if (XpFile(path).GetInfo(nullptr, nullptr, nullptr, &size) != 0 || size < 0) return ~0ull;
    return static_cast<uint64_t>(size);
}

bool HasAnnouncedSize(const XpString& path, uint32_t announced)
{
    const uint64_t size = PackageFileSize(path);
    return (size >> 32) == 0 && static_cast<uint32_t>(size) == announced;
}

bool VerifyPackageTrust(const XpString& path, const XpString& extraRoots)
{
    return XpPlatformVerifyFileTrust(path.GetString(), OrNull(extraRoots)) == 0;
}

bool VerifyPackageSigner(const XpString& path)
{
    XpPlatformString name;
    return XpPlatformFileSigner(path.GetString(), name) == 0 && IsExpectedSigner(name.c_str());
}

PackageVerdict VerifyPackage(const XpString& path, const XpString& extraRoots)
{
    PackageVerdict verdict;
    verdict.trustError = XpPlatformVerifyFileTrust(path.GetString(), OrNull(extraRoots));
    XpPlatformString name;
    if (XpPlatformFileSigner(path.GetString(), name) == 0) verdict.signer = XpString(name.c_str());
    verdict.accepted = verdict.trustError == 0 && IsExpectedSigner(name.c_str());
    return verdict;
}

bool DeleteFailedPackage(const XpString& path)
{
    // The file operation clears the read-only attribute first and puts it back when the
    // delete fails.
    return XpFileOperation::DeleteFile(path) == 0 && !XpFileOperation::IsExistingFile(path);
}
