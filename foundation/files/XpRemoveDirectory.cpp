// Removal of a directory, alone or with everything below it.
//
// The tree is walked through open folder handles: each folder is opened relative to its
// parent's handle without following a link, its entries are listed from that handle and
// removed relative to it. A folder that someone swaps for a link while the walk runs
// cannot redirect the walk, because no path is looked up a second time: the walk goes on
// in the folder it holds, wherever that folder now stands, and a link met in a folder's
// place goes as the link.

#include <algorithm>

#include "foundation/files/XpDir.h"
#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPath.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformSecureFiles.h"

namespace {

// An open folder, closed when it goes out of scope unless handed on.
class HeldFolder {
public:
    HeldFolder() = default;
    explicit HeldFolder(XpFolderHandle handle) : m_handle(handle) {}
    ~HeldFolder()
    {
        if (m_handle != kXpInvalidFolderHandle) XpPlatformCloseFolder(m_handle);
    }
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    XpFolderHandle* Receive() { return &m_handle; }
    XpFolderHandle Get() const { return m_handle; }
    XpFolderHandle Release()
    {
        const XpFolderHandle handle = m_handle;
        m_handle = kXpInvalidFolderHandle;
        return handle;
    }

private:
    XpFolderHandle m_handle = kXpInvalidFolderHandle;
};

void Publish(XpFileProgress* progress, const XpString& path)
{
    if (!progress) return;
    progress->m_currentPath = path;
    progress->Report(XpFileProgress::kItemStarted);
}

// An item that was worked on counts as done whether or not it could be removed, as with
// Delete; the walk stops at the first failure anyway.
void Finish(XpFileProgress* progress)
{
    if (progress) ++progress->m_done;
}

void SetTotal(XpFileProgress* progress, uint64_t total)
{
    if (!progress || progress->m_total != 0) return;
    progress->m_total = total;
    progress->m_done = 0;
}

// An entry that is not a folder of the tree: a file, read-only or not, or a link, which
// goes as the link; its target, wherever it lies, is never touched.
XpResult RemoveEntry(XpFolderHandle parent, const XpString& name, const XpString& path, XpFileProgress* progress)
{
    Publish(progress, path);
    XpResult rc = XpMapWindowsError(XpPlatformDeleteAt(parent, name.GetString()));
    if (XpIsGenericFailure(rc)) rc = XpRc::DeleteFailed;
    Finish(progress);
    return rc;
}

XpResult RemoveTree(XpFolderHandle parent, const XpString& name, const XpString& path, XpFolderHandle folder,
                    XpFileProgress* progress);

// A folder listed in an open parent: opened relative to it, then emptied and removed.
XpResult RemoveFolder(XpFolderHandle parent, const XpString& name, const XpString& path, XpFileProgress* progress)
{
    HeldFolder folder;
    const uint32_t error = XpPlatformOpenFolderAt(parent, name.GetString(), folder.Receive());
    // Someone put a link where the folder was listed: the link goes, not what it leads to.
    if (error == XpWinError::StoppedOnSymlink) return RemoveEntry(parent, name, path, progress);
    if (error != 0) return XpMapWindowsError(error);
    return RemoveTree(parent, name, path, folder.Release(), progress);
}

// Empties the open folder `folder`, which is `name` in `parent`, and removes it. Takes the
// folder's handle over.
XpResult RemoveTree(XpFolderHandle parent, const XpString& name, const XpString& path, XpFolderHandle folder,
                    XpFileProgress* progress)
{
    HeldFolder held(folder);
    XpResult rc = XpRc::Ok;
    XpFolderEntry entry;
    while (rc == XpRc::Ok) {
        const uint32_t error = XpPlatformReadFolder(folder, &entry);
        if (error == XpWinError::NoMoreFiles) break;
        if (error != 0) {
            rc = XpMapWindowsError(error);
            break;
        }
        const XpString entryName(entry.name);
        const XpString entryPath = CombinePath(path, entryName);
        const bool isFolder =
            (entry.attributes & XpFileAttr::Directory) != 0 && (entry.attributes & XpFileAttr::ReparsePoint) == 0;
        rc = isFolder ? RemoveFolder(folder, entryName, entryPath, progress)
                      : RemoveEntry(folder, entryName, entryPath, progress);
    }
    if (rc != XpRc::Ok) return rc;

    Publish(progress, path);
    rc = XpMapWindowsError(XpPlatformRemoveFolderAt(parent, name.GetString(), held.Release()));
    Finish(progress);
    return rc;
}

}  // namespace

XpResult XpFileOperation::RemoveDirectory(const XpString& path, bool recursive, XpFileProgress* progress)
{
    // An empty path would name the current folder, and "Q:" or "Q:name" a folder relative
    // to that drive's current folder: neither is removed, and nothing is touched.
    if (IsEmptyOrDriveRelative(path)) return XpRc::BadRoot;
    if (!recursive) {
        if (progress) {
            progress->m_currentPath = path;
            progress->m_total = 1;
            progress->m_done = 0;
            progress->Report(XpFileProgress::kItemStarted);
        }
        XpResult rc = XpMapWindowsError(XpPlatformRemoveDirectory(path.GetString()));
        if (rc == XpRc::Ok && progress) progress->Report(XpFileProgress::kItemStarted);
        return rc;
    }

    // The folder is opened relative to its parent like every folder below it, so that a
    // folder that is itself a link goes as the link, never with its target's content. A
    // trailing separator would make the system look through the link, so it is dropped
    // first (a root keeps its own).
    XpString target = path;
    const int32_t keep = std::max<int32_t>(GetPathRoot(path).GetLength(), 1);
    while (target.GetLength() > keep && target.GetString()[target.GetLength() - 1] == XpPathSeparator())
        target = target.Left(target.GetLength() - 1);
    const XpString name = GetFileNamePart(target);
    // A root has no parent to be removed from; its content is not removed either.
    if (name.IsEmpty() || target == GetPathRoot(target)) return XpRc::AccessDenied;
    XpString parentPath = GetDirectoryPart(target);
    if (parentPath.IsEmpty()) parentPath = XP_T(".");

    HeldFolder parent;
    HeldFolder folder;
    uint32_t error = XpPlatformOpenFolder(parentPath.GetString(), parent.Receive());
    if (error == 0) error = XpPlatformOpenFolderAt(parent.Get(), name.GetString(), folder.Receive());
    if (error == XpWinError::StoppedOnSymlink) {
        SetTotal(progress, 1);
        return RemoveEntry(parent.Get(), name, target, progress);
    }
    SetTotal(progress, XpDir(target).CountEntries(true) + 1);
    if (error != 0) return XpMapWindowsError(error);
    return RemoveTree(parent.Get(), name, target, folder.Release(), progress);
}

XpResult XpPath::RemoveDirectoryTree() const
{
    return XpFileOperation::RemoveDirectory(m_path, true, nullptr);
}
