// Removal of a directory, alone or with everything below it.

#include <algorithm>

#include "foundation/files/XpDir.h"
#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPath.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformFiles.h"

namespace {

void Publish(XpFileProgress* progress, const XpString& path)
{
    if (!progress) return;
    progress->m_strCurrentPath = path;
    progress->Report(0);
}

// An item that was worked on counts as done whether or not it could be removed, as with
// Delete; the walk stops at the first failure anyway.
void Finish(XpFileProgress* progress)
{
    if (progress) ++progress->m_nDone;
}

// A symbolic link or junction is removed as the link itself: its target, wherever it
// lies, is never touched.
XpResult RemoveLink(const XpString& path, uint32_t attributes, XpFileProgress* progress)
{
    Publish(progress, path);
    XpResult rc = (attributes & XpFileAttr::Directory) ? XpMapWindowsError(XpPlatformRemoveDirectory(path.GetString()))
                                                       : XpFileOperation::Delete(path, false, false, nullptr);
    Finish(progress);
    return rc;
}

XpResult RemoveTree(const XpString& path, XpFileProgress* progress)
{
    XpDir dir(path);
    if (progress && progress->m_nTotal == 0) {
        progress->m_nTotal = dir.CountEntries(true) + 1;
        progress->m_nDone = 0;
    }
    XpResult rc = dir.FindFirst(XpDirFlag::Directories | XpDirFlag::Files, nullptr);
    if (rc != XpRc::Ok) return rc;

    while (rc == XpRc::Ok) {
        uint32_t attributes = 0;
        XpSharedPtr<XpAbstractFSObj> entry = dir.FindNextEntry(&attributes);
        if (!entry) break;
        const XpString entryPath = entry->GetPath();
        if (attributes & XpFileAttr::ReparsePoint) {
            rc = RemoveLink(entryPath, attributes, progress);
        } else if (entry->IsDirectory()) {
            rc = RemoveTree(entryPath, progress);
        } else {
            Publish(progress, entryPath);
            rc = XpFileOperation::Delete(entryPath, false, false, nullptr);
            Finish(progress);
        }
    }
    // The directory is no longer listed, so nothing holds it open when it goes.
    dir.FindClose();
    if (rc != XpRc::Ok) return rc;

    Publish(progress, path);
    rc = XpMapWindowsError(XpPlatformRemoveDirectory(path.GetString()));
    Finish(progress);
    return rc;
}

}  // namespace

XpResult XpFileOperation::RemoveDirectory(const XpString& path, bool recursive, XpFileProgress* progress)
{
    if (!recursive) {
        if (progress) {
            progress->m_strCurrentPath = path;
            progress->m_nTotal = 1;
            progress->m_nDone = 0;
            progress->Report(0);
        }
        XpResult rc = XpMapWindowsError(XpPlatformRemoveDirectory(path.GetString()));
        if (rc == XpRc::Ok && progress) progress->Report(0);
        return rc;
    }

    // A directory that is itself a link goes as the link, never with its target's content.
    // A trailing separator would make the system look through the link, so it is dropped
    // first (a root keeps its own).
    XpString target = path;
    const int32_t keep = std::max<int32_t>(GetPathRoot(path).GetLength(), 1);
    while (target.GetLength() > keep && target.GetString()[target.GetLength() - 1] == XpPathSeparator())
        target = target.Left(target.GetLength() - 1);
    uint32_t attributes = 0;
    if (XpPlatformGetAttributes(target.GetString(), &attributes) == 0 && (attributes & XpFileAttr::ReparsePoint)) {
        if (progress && progress->m_nTotal == 0) {
            progress->m_nTotal = 1;
            progress->m_nDone = 0;
        }
        return RemoveLink(target, attributes, progress);
    }
    return RemoveTree(target, progress);
}

XpResult XpPath::RemoveDirectoryTree() const
{
    return XpFileOperation::RemoveDirectory(m_strPath, true, nullptr);
}
