#pragma once
// Link-safe work in folders that others may write: open folders held by handle, their
// entries opened, created and removed relative to that handle without ever following a
// symbolic link or junction in the last part of a name, and private folders.
//
// The updater runs with administrator rights but works below the user's temporary
// folder, where programs without those rights can write. A name looked up twice can
// change in between, so every operation here looks each name up once, relative to a
// folder that is already open, and checks what it opened by the handle.
//
// Windows: folders and files are opened with FILE_FLAG_OPEN_REPARSE_POINT semantics,
// children relative to their folder's handle (NtCreateFile with a root directory),
// checked by handle (FILE_ATTRIBUTE_REPARSE_POINT) and deleted by handle
// (SetFileInformationByHandle). Where the system follows a link without saying so (Wine
// follows Unix links and reports the target), the handle's final path is compared with
// the folder's own and a difference counts as a link. Private folders get an explicit
// access list (Administrators and SYSTEM only) when the process is elevated.
// Linux: openat with O_NOFOLLOW (and O_DIRECTORY for folders, O_EXCL for new files),
// fstatat without following, unlinkat; private folders are mode 0700, owned by the
// effective user, checked by descriptor.
//
// Every operation that can fail returns 0 or a Windows error number (PlatformErrors.h);
// a link met where it is refused gives XpWinError::StoppedOnSymlink.

#include <cstdint>

#include "platform/PlatformFiles.h"
#include "platform/XpChar.h"

using XpFolderHandle = std::intptr_t;
inline constexpr XpFolderHandle kXpInvalidFolderHandle = 0;

// Opens a folder by path for listing and for work relative to it. Links on the way are
// the caller's own path and are followed, the last part included.
uint32_t XpPlatformOpenFolder(const XpChar* path, XpFolderHandle* folder);
// Opens the folder `name` (one name, no separator) of an open folder. A link there, to a
// folder or anywhere else, gives StoppedOnSymlink; a file gives ERROR_DIRECTORY (267);
// nothing there gives PathNotFound.
uint32_t XpPlatformOpenFolderAt(XpFolderHandle parent, const XpChar* name, XpFolderHandle* folder);
uint32_t XpPlatformCloseFolder(XpFolderHandle folder);

// One entry of a folder listing ("." and ".." left out), as the listing saw it: the
// attributes (XpFileAttr) tell a link by ReparsePoint. They are a hint for the walk only:
// the operations above check what they open by the handle.
struct XpFolderEntry {
    uint32_t attributes;
    XpChar name[260];
};
// The next entry of an open folder; NoMoreFiles at the end.
uint32_t XpPlatformReadFolder(XpFolderHandle folder, XpFolderEntry* entry);

// Deletes the entry `name` of an open folder that is not a folder: a file, read-only or
// not (a failed delete leaves its attributes as they were), or a link, whatever it leads
// to: the link goes, its target is never touched. A real folder there gives AccessDenied.
// Where the system cannot remove a link without reaching its target (Wine), the link is
// left as it is and the answer is StoppedOnSymlink.
uint32_t XpPlatformDeleteAt(XpFolderHandle parent, const XpChar* name);
// Removes `folder`, an empty folder opened as `name` of `parent`, and closes its handle
// whatever the result.
uint32_t XpPlatformRemoveFolderAt(XpFolderHandle parent, const XpChar* name, XpFolderHandle folder);

// Opens or creates the file `name` of an open folder as XpPlatformCreateFile does
// (access, share mode, disposition, flags and attributes alike), except that a link in
// place of the file is never followed: it gives StoppedOnSymlink and is left untouched.
// CreateNew never opens anything that exists already, a link included. A truncating
// disposition empties the file only after it has been checked.
uint32_t XpPlatformCreateFileAt(XpFolderHandle parent, const XpChar* name, uint32_t access, uint32_t shareMode,
                                uint32_t disposition, uint32_t flagsAndAttributes, XpFileHandle* handle);
// The same by path: the folder part is opened as the caller names it (links there are
// followed), the last part never through a link.
uint32_t XpPlatformCreateFileNoFollow(const XpChar* path, uint32_t access, uint32_t shareMode, uint32_t disposition,
                                      uint32_t flagsAndAttributes, XpFileHandle* handle);

// Makes the last part of path a private folder, or accepts it when it is one already;
// the folder part must exist. Linux: mode 0700 and owned by the effective user; an
// existing folder of this user that others cannot write is tightened to 0700. Windows:
// when elevated, an explicit protected access list for Administrators and SYSTEM only
// (an existing folder must be owned by one of them, and gets that list); otherwise the
// user's own temporary folder already keeps others out and the folder inherits it.
// Refused: a link in its place (StoppedOnSymlink), a file there (AlreadyExists), a folder
// that another user owns (InvalidOwner) or that others can write (InvalidSecurityDescr).
//
// With `held`, the folder that was made or accepted stays open and is handed out there
// (closed with XpPlatformCloseFolder), so that it cannot be moved while work goes on in it.
// Windows: it is made or opened without FILE_SHARE_DELETE from the first instant, and a
// rename or removal of a folder needs delete access, so nobody can move it away and put
// another folder or a junction in its place until it is closed; the user who owns the
// temporary folder could otherwise do that whatever the folder's own access list says.
// An existing folder that someone else holds open for deleting is refused
// (SharingViolation). Linux: the descriptor that was checked; a descriptor cannot stop a
// rename, which the sticky bit of the temporary folder and the folder's mode 0700 do.
uint32_t XpPlatformCreatePrivateFolder(const XpChar* path, XpFolderHandle* held = nullptr);
