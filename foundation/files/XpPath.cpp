#include "foundation/files/XpPath.h"

#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformFiles.h"
#include "platform/PlatformFolders.h"

XpPath::XpPath() : m_path(GetSpecialFolderPath(XpSpecialFolder::Temp)) {}

XpPath::XpPath(const XpString& path) : m_path(path) {}

bool XpPath::IsDirectory() const
{
    return XpFileOperation::IsDirectory(m_path);
}

bool XpPath::IsFile() const
{
    return XpFileOperation::IsExistingFile(m_path);
}

XpResult XpPath::CreateDirectories() const
{
    return XpFileOperation::CreateDirectories(m_path);
}

XpResult XpPath::CreatePrivateDirectory() const
{
    return XpFileOperation::CreatePrivateDirectory(m_path);
}

XpString GetSpecialFolderPath(int kind)
{
    XpPlatformString path;
    switch (kind) {
        case XpSpecialFolder::Temp:
            if (!XpPlatformGetTempPath(path)) return XpString();
            return XpString(path.c_str(), static_cast<int32_t>(path.size()));
        case XpSpecialFolder::ModulePath:
            if (!XpPlatformGetModulePath(path)) return XpString();
            return XpString(path.c_str(), static_cast<int32_t>(path.size()));
        case XpSpecialFolder::Pictures:
        case XpSpecialFolder::Videos:
        case XpSpecialFolder::Music:
        case XpSpecialFolder::Documents:
        case XpSpecialFolder::Desktop:
        case XpSpecialFolder::CommonPictures:
        case XpSpecialFolder::CommonVideos:
        case XpSpecialFolder::CommonMusic:
        case XpSpecialFolder::CommonDocuments:
        case XpSpecialFolder::CommonDesktop:
        case XpSpecialFolder::AppData:
        case XpSpecialFolder::Profile:
        case XpSpecialFolder::CommonAppData:
            break;
        default:
            return XpString();
    }

    bool createIfMissing = false;
    if (!XpPlatformGetSpecialFolder(kind, path, &createIfMissing)) return XpString();
    XpString result(path.c_str(), static_cast<int32_t>(path.size()));
    // The user's media folders are made on first use; a folder that cannot be made is
    // no answer.
    if (createIfMissing && !result.IsEmpty() && !XpFileOperation::IsDirectory(result)) {
        const XpResult rc = XpFileOperation::CreateDirectories(result);
        if (rc != XpRc::Ok && rc != XpRc::AlreadyExists) return XpString();
    }
    return result;
}

XpString GetModuleSiblingPath(const XpString& name)
{
    const XpString module = GetSpecialFolderPath(XpSpecialFolder::ModulePath);
    if (module.IsEmpty()) return XpString();
    const XpString path = CombinePath(GetDirectoryPart(module), name);
    // Asked by attributes, not by a directory search, so that a name with wildcards
    // never answers with a text that names no file.
    uint32_t attributes = 0;
    if (XpPlatformGetAttributes(path.GetString(), &attributes) != 0) return XpString();
    return (attributes & XpFileAttr::Directory) == 0 ? path : XpString();
}
