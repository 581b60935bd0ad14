#include "update/WorkDirectory.h"

#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPath.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformFolders.h"

// Seam: the work directory becomes a private folder, made and removed without following
// links, once the link-safe file primitives are in the foundation; until then the plain
// path operations serve.

XpString WorkDirectoryPath()
{
    const XpString temp = GetSpecialFolderPath(XpSpecialFolder::Temp);
    if (temp.IsEmpty()) return XpString();
    return CombinePath(temp, XP_T("Vimbly_Kestrow"));
}

bool EnsureWorkDirectory(const XpString& folder)
{
    if (folder.IsEmpty()) return false;
    if (!XpFileOperation::IsDirectory(folder)) XpFileOperation::CreateDirectories(folder);
    return XpFileOperation::IsDirectory(folder);
}

bool RemoveWorkDirectory(const XpString& folder)
{
    if (folder.IsEmpty()) return false;
    if (XpFileOperation::IsDirectory(folder)) XpPath(folder).RemoveDirectoryTree();
    return !XpFileOperation::IsDirectory(folder);
}
