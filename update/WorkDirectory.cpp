#include "update/WorkDirectory.h"

#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPath.h"
#include "foundation/files/XpPathText.h"
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

bool RemoveWorkDirectory(const XpString& folder)
{
    if (folder.IsEmpty()) return false;
    if (XpFileOperation::IsDirectory(folder)) XpPath(folder).RemoveDirectoryTree();
    return !XpFileOperation::IsDirectory(folder);
}

bool IsWorkDirectoryInPlace(const XpString& folder)
{
    const XpString parent = GetDirectoryPart(folder);
    const XpString name = GetFileNamePart(folder);
    if (parent.IsEmpty() || name.IsEmpty()) return false;
    XpFolderHandle above = kXpInvalidFolderHandle;
    if (XpPlatformOpenFolder(parent.GetString(), &above) != 0) return false;
    XpFolderHandle work = kXpInvalidFolderHandle;
    const bool inPlace = XpPlatformOpenFolderAt(above, name.GetString(), &work) == 0;
    if (inPlace) XpPlatformCloseFolder(work);
    XpPlatformCloseFolder(above);
    return inPlace;
}
