#pragma once
// The work directory: "Vimbly_Kestrow" in the user's temporary folder, one per user, kept
// between runs so that a complete package can serve the next one.

#include <cstdint>

#include "foundation/text/XpString.h"
#include "platform/PlatformSecureFiles.h"

// The work directory's path; empty when the temporary folder is unknown.
XpString WorkDirectoryPath();

// Makes the folder private (XpPath::CreatePrivateDirectory), or accepts it when it is
// private already; the folder above it must exist. False when it cannot be made or is
// refused: a link, a file, or a folder that another user owns or may write.
bool EnsureWorkDirectory(const XpString& folder = WorkDirectoryPath());

// The work directory made private (as EnsureWorkDirectory does) and held open from the
// pre-check until the clean-up, so that nobody can move it away and put another folder or
// a link in its place while the stages work in it and the installer runs from it. On
// Windows the user who owns the temporary folder could otherwise do that, whatever the
// work folder's own access list says: the hold denies the delete access that a move needs
// (XpPlatformCreatePrivateFolder). The clean-up releases it before it removes the folder.
class HeldWorkDirectory {
public:
    HeldWorkDirectory() = default;
    ~HeldWorkDirectory() { Release(); }
    HeldWorkDirectory(const HeldWorkDirectory&) = delete;
    HeldWorkDirectory& operator=(const HeldWorkDirectory&) = delete;

    // Makes or accepts the folder and holds it; a folder held before is let go first.
    // False, holding nothing, when it cannot be made or is refused.
    bool Take(const XpString& folder = WorkDirectoryPath());
    void Release();
    bool IsHeld() const { return m_hFolder != kXpInvalidFolderHandle; }

private:
    XpFolderHandle m_hFolder = kXpInvalidFolderHandle;
};

// Removes the folder with everything in it, when it is one, without following a link in
// its place or anywhere below. Whether it is gone.
bool RemoveWorkDirectory(const XpString& folder = WorkDirectoryPath());

// Whether the folder is a real folder in its place, opened from the folder above it
// without following a link: false for a link (to a folder or anywhere else), a file, or
// nothing. The download stage asks it before it uses the folder that the pre-check made
// private, since a link put in its place since then would lead the package elsewhere.
bool IsWorkDirectoryInPlace(const XpString& folder = WorkDirectoryPath());

// Opens the folder from the folder above it, never through a link in its own place (the
// folders above are the caller's path and are followed). 0 or a Windows error number
// (StoppedOnSymlink for a link); *handle is closed by the caller.
uint32_t OpenFolderInPlace(const XpString& folder, XpFolderHandle* handle);
