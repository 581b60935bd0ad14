#pragma once
// Static file-system operations on path texts: existence and attribute tests, deletes
// (also to the recycle bin), directory and file creation, and directory removal.
// Every failure arrives as a result code; the boolean tests answer false on failure.

#include <cstdint>
#include <vector>

#include "foundation/XpResult.h"
#include "foundation/text/XpString.h"
#include "platform/PlatformSecureFiles.h"

// Progress of a delete or a directory removal.
class XpFileProgress {
public:
    virtual ~XpFileProgress() = default;
    virtual void Report(double percent) { (void)percent; }

    // The percent reported when an item is started and when it is finished.
    static constexpr double kItemStarted = 0;
    static constexpr double kItemFinished = 100;

    XpString m_currentPath;  // the item being worked on
    double m_percent = 0;    // of the current item
    uint64_t m_total = 0;    // items in all, 0 until known
    uint64_t m_done = 0;     // items finished
};

class XpFileOperation {
public:
    // Wildcards in the last part are answered for their first match.
    static bool Exists(const XpString& path, bool* isDirectory = nullptr);
    static bool IsExistingFile(const XpString& path);
    static bool IsDirectory(const XpString& path);
    static bool IsReadOnly(const XpString& path);
    // A root (compared without regard to case) is never hidden.
    static bool IsHidden(const XpString& path);

    // Deletes a file, read-only or not. On failure the file keeps its attributes.
    static XpResult DeleteFile(const XpString& path);
    static XpResult DeleteToRecycleBin(const XpString& path);
    static XpResult Delete(const XpString& path, bool toRecycleBin, bool asList, XpFileProgress* progress);
    // To the recycle bin: one request with the system's own confirmation and progress.
    // Otherwise each path in order, stopping at the first failure.
    static XpResult DeleteList(const std::vector<XpString>& paths, bool toRecycleBin);
    // Recursive: removes everything below, stopping at the first entry that cannot be
    // removed (what was removed before stays removed; the rest stays as it was).
    static XpResult RemoveDirectory(const XpString& path, bool recursive, XpFileProgress* progress);

    // One level.
    static XpResult CreateDirectory(const XpString& path);
    // Every missing level; the final level existing already gives XpRc::AlreadyExists.
    static XpResult CreateDirectories(const XpString& path);
    // Makes the last level a folder that only this user (when elevated on Windows:
    // Administrators and SYSTEM) can use, or accepts it when it is one already. The level
    // above must exist. Refused: a link in its place (XpRc::LinkRefused), a file there
    // (XpRc::AlreadyExists), a folder that another user owns or that others can write
    // (XpRc::FolderNotPrivate). With held, the folder stays open there and cannot be moved
    // while it is (XpPlatformCreatePrivateFolder); the caller closes it.
    static XpResult CreatePrivateDirectory(const XpString& path, XpFolderHandle* held = nullptr);
    // An empty file that must not exist yet.
    static XpResult CreateNewFile(const XpString& path);
    // Creates the file when it is missing, keeps it as it is otherwise.
    static XpResult EnsureFileExists(const XpString& path);
};
