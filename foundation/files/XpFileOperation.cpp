#include "foundation/files/XpFileOperation.h"

#include "foundation/files/XpPathText.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformRecycleBin.h"
#include "platform/PlatformSecureFiles.h"

namespace {

// The shell's "error on destination" answer to a delete, which leaves nothing undone.
constexpr uint32_t kRecycleErrorOnDestination = 0x10000;

XpChar FoldAscii(XpChar c)
{
    return (c >= 'A' && c <= 'Z') ? XpChar(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const XpString& a, const XpString& b)
{
    if (a.GetLength() != b.GetLength()) return false;
    for (int32_t i = 0; i < a.GetLength(); ++i) {
        if (FoldAscii(a.GetString()[i]) != FoldAscii(b.GetString()[i])) return false;
    }
    return true;
}

bool ReadAttributes(const XpString& path, uint32_t* attributes)
{
    return XpPlatformGetAttributes(path.GetString(), attributes) == XpWinError::Success;
}

XpResult RecycleResult(uint32_t error)
{
    if (error == XpWinError::Success || error == kRecycleErrorOnDestination) return XpRc::Ok;
    if (error == XpWinError::NotEnoughMemory) return XpRc::OutOfMemory;
    return XpRc::DeleteFailed;
}

// Where the walk of CreateDirectories starts: the index just past the root, or -1 when
// the path has no root that the walk accepts.
int32_t FirstLevelIndex(const XpString& path)
{
    const XpChar* p = path.GetString();
    const int32_t length = path.GetLength();
    if constexpr (kXpNativePathStyle == XpPathStyle::Windows) {
        if (length >= 2 && p[0] == '\\' && p[1] == '\\') {
            int32_t afterServer = -1;
            for (int32_t i = 2; i < length && afterServer < 0; ++i) {
                if (p[i] == '\\') afterServer = i;
            }
            if (afterServer < 0) return -1;
            for (int32_t i = afterServer + 1; i < length; ++i) {
                if (p[i] == '\\') return i + 1;
            }
            return -1;
        }
        const bool letter = length >= 2 && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'));
        if (!letter || p[1] != ':') return -1;
        return 3;
    } else {
        if (length < 1 || p[0] != '/') return -1;
        return 1;
    }
}

}  // namespace

bool XpFileOperation::Exists(const XpString& path, bool* isDirectory)
{
    XpFindData data;
    XpFindHandle handle = kXpInvalidFindHandle;
    if (XpPlatformFindFirst(path.GetString(), &data, &handle) != XpWinError::Success) return false;
    XpPlatformFindClose(handle);
    if (isDirectory != nullptr) *isDirectory = (data.attributes & XpFileAttr::Directory) != 0;
    return true;
}

bool XpFileOperation::IsExistingFile(const XpString& path)
{
    bool isDirectory = false;
    return Exists(path, &isDirectory) && !isDirectory;
}

bool XpFileOperation::IsDirectory(const XpString& path)
{
    return XpPlatformIsDirectory(path.GetString());
}

bool XpFileOperation::IsReadOnly(const XpString& path)
{
    uint32_t attributes = 0;
    return ReadAttributes(path, &attributes) && (attributes & XpFileAttr::ReadOnly) != 0;
}

bool XpFileOperation::IsHidden(const XpString& path)
{
    // Drive roots may carry the hidden bit; they are still shown.
    if (EqualsIgnoringCase(path, GetPathRoot(path))) return false;
    uint32_t attributes = 0;
    return ReadAttributes(path, &attributes) && (attributes & XpFileAttr::Hidden) != 0;
}

XpResult XpFileOperation::DeleteFile(const XpString& path)
{
    // A read-only file is made writable for the delete; when the delete fails it gets
    // its read-only bit back. Attributes that could not be read are never written.
    uint32_t attributes = 0;
    const bool cleared =
        ReadAttributes(path, &attributes) && (attributes & XpFileAttr::ReadOnly) != 0 &&
        XpPlatformSetAttributes(path.GetString(), attributes & ~XpFileAttr::ReadOnly) == XpWinError::Success;

    const uint32_t error = XpPlatformDeleteFile(path.GetString());
    if (error == XpWinError::Success) return XpRc::Ok;

    if (cleared) XpPlatformSetAttributes(path.GetString(), attributes);
    const XpResult rc = XpMapWindowsError(error);
    return XpIsGenericFailure(rc) ? XpRc::DeleteFailed : rc;
}

XpResult XpFileOperation::DeleteToRecycleBin(const XpString& path)
{
    const XpChar* paths[1] = {path.GetString()};
    return RecycleResult(XpPlatformMoveToRecycleBin(paths, 1, true));
}

XpResult XpFileOperation::Delete(const XpString& path, bool toRecycleBin, bool asList, XpFileProgress* progress)
{
    if (asList) return DeleteList(std::vector<XpString>{path}, toRecycleBin);

    if (progress != nullptr) {
        progress->m_strCurrentPath = path;
        progress->m_dPercent = XpFileProgress::kItemStarted;
        progress->Report(XpFileProgress::kItemStarted);
    }
    const XpResult rc = toRecycleBin ? DeleteToRecycleBin(path) : DeleteFile(path);
    if (progress != nullptr) {
        // The item is finished whether or not it could be deleted.
        progress->m_dPercent = XpFileProgress::kItemFinished;
        progress->Report(XpFileProgress::kItemFinished);
        ++progress->m_nDone;
    }
    return rc;
}

XpResult XpFileOperation::DeleteList(const std::vector<XpString>& paths, bool toRecycleBin)
{
    if (paths.empty()) return XpRc::Ok;
    if (toRecycleBin) {
        std::vector<const XpChar*> texts;
        texts.reserve(paths.size());
        for (const XpString& path : paths) texts.push_back(path.GetString());
        return RecycleResult(XpPlatformMoveToRecycleBin(texts.data(), texts.size(), false));
    }
    for (const XpString& path : paths) {
        const XpResult rc = Delete(path, false, false, nullptr);
        if (rc != XpRc::Ok) return rc;
    }
    return XpRc::Ok;
}

XpResult XpFileOperation::CreateDirectory(const XpString& path)
{
    switch (XpPlatformCrtMkdir(path.GetString())) {
        case 0:
            return XpRc::Ok;
        case XpCrtErrno::Exist:
            return XpRc::AlreadyExists;
        case XpCrtErrno::NoEnt:
            return XpRc::PathNotFound;
        case XpCrtErrno::RoFs:
        case XpCrtErrno::Acces:
            return XpRc::AccessDenied;
        default:
            return XpPlatformIsDirectory(GetDirectoryPart(path).GetString()) ? XpRc::BadRoot : XpRc::PathNotFound;
    }
}

XpResult XpFileOperation::CreateDirectories(const XpString& path)
{
    int32_t walk = FirstLevelIndex(path);
    if (walk < 0) return XpRc::BadRoot;

    const XpChar separator = XpPathSeparator();
    const XpChar* p = path.GetString();
    for (int32_t i = walk; i < path.GetLength(); ++i) {
        if (p[i] != separator) continue;
        const XpResult rc = CreateDirectory(path.Left(i));
        if (rc != XpRc::Ok && rc != XpRc::AlreadyExists) return rc;
    }
    return CreateDirectory(path);
}

XpResult XpFileOperation::CreatePrivateDirectory(const XpString& path)
{
    if (IsEmptyOrDriveRelative(path)) return XpRc::BadRoot;
    return XpMapWindowsError(XpPlatformCreatePrivateFolder(path.GetString()));
}

XpResult XpFileOperation::CreateNewFile(const XpString& path)
{
    switch (XpPlatformCrtCreateFile(path.GetString(), true)) {
        case 0:
            return XpRc::Ok;
        case XpCrtErrno::Acces:
            return XpRc::AccessDenied;
        case XpCrtErrno::Exist:
            return XpRc::AlreadyExists;
        case XpCrtErrno::Inval:
            return XpRc::InvalidArgument;
        case XpCrtErrno::MFile:
            return XpRc::TooManyOpenFiles;
        default:
            return XpRc::CrtFailure;
    }
}

XpResult XpFileOperation::EnsureFileExists(const XpString& path)
{
    const int error = XpPlatformCrtCreateFile(path.GetString(), false);
    return error == 0 ? XpRc::Ok : XpMapCrtError(error);
}
