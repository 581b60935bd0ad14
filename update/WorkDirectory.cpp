#include "update/WorkDirectory.h"

#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPath.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformFolders.h"
#include "platform/PlatformSecureFiles.h"

// The work directory lies where programs without the updater's rights can write: it is
// made private (or refused) and removed without following links (docs/security.md).

XpString WorkDirectoryPath()
{
    const XpString temp = GetSpecialFolderPath(XpSpecialFolder::Temp);
    if (temp.IsEmpty()) return XpString();
    return CombinePath(temp, XP_T("Vimbly_Kestrow"));
}

bool EnsureWorkDirectory(const XpString& folder)
{
    if (folder.IsEmpty()) return false;
    // Made private here, or accepted only when it is private already: a link in its place
    // or a folder that another user made or may write is refused, never taken over. The
    // folder above (the temporary folder) must exist; it is never made here, since a
    // folder made by name could be another's by the time it is used.
    return XpPath(folder).CreatePrivateDirectory() == XpRc::Ok;
}

bool HeldWorkDirectory::Take(const XpString& folder)
{
    Release();
    // As EnsureWorkDirectory, with the folder held from the instant it is made or checked.
    return XpFileOperation::CreatePrivateDirectory(folder, &m_hFolder) == XpRc::Ok;
}

void HeldWorkDirectory::Release()
{
    if (m_hFolder == kXpInvalidFolderHandle) return;
    XpPlatformCloseFolder(m_hFolder);
    m_hFolder = kXpInvalidFolderHandle;
}

bool RemoveWorkDirectory(const XpString& folder)
{
    if (folder.IsEmpty()) return false;
    if (XpFileOperation::IsDirectory(folder)) XpPath(folder).RemoveDirectoryTree();
    return !XpFileOperation::IsDirectory(folder);
}

uint32_t OpenFolderInPlace(const XpString& folder, XpFolderHandle* handle)
{
    *handle = kXpInvalidFolderHandle;
    const XpString parent = GetDirectoryPart(folder);
    const XpString name = GetFileNamePart(folder);
    if (parent.IsEmpty() || name.IsEmpty()) return XpWinError::PathNotFound;
    XpFolderHandle above = kXpInvalidFolderHandle;
    uint32_t error = XpPlatformOpenFolder(parent.GetString(), &above);
    if (error != 0) return error;
    error = XpPlatformOpenFolderAt(above, name.GetString(), handle);
    XpPlatformCloseFolder(above);
    return error;
}

bool IsWorkDirectoryInPlace(const XpString& folder)
{
    XpFolderHandle work = kXpInvalidFolderHandle;
    if (OpenFolderInPlace(folder, &work) != 0) return false;
    XpPlatformCloseFolder(work);
    return true;
}
