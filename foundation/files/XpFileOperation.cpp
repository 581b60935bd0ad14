#include "foundation/files/XpFileOperation.h"

#include "foundation/files/XpPathText.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformRecycleBin.h"
#include "platform/PlatformSecureFiles.h"

namespace {

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

// Where the walk of CreateDirectories starts: the index just past the root, or -1 when
// the path has no root that the walk accepts. A share or device must be followed by a
// separator ("\\server\share\..."); a drive's root or current folder ("C:\", "C:") and
// the POSIX root start the walk right after them.
int32_t FirstLevelIndex(const XpString& path)
{
    const XpPathRoot root =
        XpParsePathRoot(path.GetString(), static_cast<std::size_t>(path.GetLength()), kXpNativePathStyle);
    switch (root.kind) {
        case XpRootKind::Drive:
        case XpRootKind::DriveRelative:
        case XpRootKind::Posix:
            return static_cast<int32_t>(root.rest);
        case XpRootKind::Share:
        case XpRootKind::Device:
            return root.rest > root.length ? static_cast<int32_t>(root.rest) : -1;
        default:
            return -1;
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
    return XpMapDeleteError(error);
}

XpResult XpFileOperation::DeleteToRecycleBin(const XpString& path)
{
    const XpChar* paths[1] = {path.GetString()};
    return XpMapRecycleError(XpPlatformMoveToRecycleBin(paths, 1, true));
}

XpResult XpFileOperation::Delete(const XpString& path, bool toRecycleBin, bool asList, XpFileProgress* progress)
{
    if (asList) return DeleteList(std::vector<XpString>{path}, toRecycleBin);

    if (progress != nullptr) {
        progress->m_currentPath = path;
        progress->m_percent = XpFileProgress::kItemStarted;
        progress->Report(XpFileProgress::kItemStarted);
    }
    const XpResult rc = toRecycleBin ? DeleteToRecycleBin(path) : DeleteFile(path);
    if (progress != nullptr) {
        // The item is finished whether or not it could be deleted.
        progress->m_percent = XpFileProgress::kItemFinished;
        progress->Report(XpFileProgress::kItemFinished);
        ++progress->m_done;
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
        return XpMapRecycleError(XpPlatformMoveToRecycleBin(texts.data(), texts.size(), false));
    }
    for (const XpString& path : paths) {
        const XpResult rc = Delete(path, false, false, nullptr);
        if (rc != XpRc::Ok) return rc;
    }
    return XpRc::Ok;
}

XpResult XpFileOperation::CreateDirectory(const XpString& path)
{
    const int error = XpPlatformCrtMkdir(path.GetString());
    if (error == 0) return XpRc::Ok;
    return XpMapMkdirError(error, XpPlatformIsDirectory(GetDirectoryPart(path).GetString()));
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

XpResult XpFileOperation::CreatePrivateDirectory(const XpString& path, XpFolderHandle* held)
{
    if (held != nullptr) *held = kXpInvalidFolderHandle;
    if (IsEmptyOrDriveRelative(path)) return XpRc::BadRoot;
    return XpMapWindowsError(XpPlatformCreatePrivateFolder(path.GetString(), held));
}

XpResult XpFileOperation::CreateNewFile(const XpString& path)
{
    return XpMapCreateNewFileError(XpPlatformCrtCreateFile(path.GetString(), true));
}

XpResult XpFileOperation::EnsureFileExists(const XpString& path)
{
    const int error = XpPlatformCrtCreateFile(path.GetString(), false);
    return error == 0 ? XpRc::Ok : XpMapCrtError(error);
}
