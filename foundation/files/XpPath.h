#pragma once
// XpPath: the path value of the file layer, and the special-folder lookup behind it.

#include <cstdint>

#include "foundation/XpResult.h"
#include "foundation/text/XpString.h"

class XpPath {
public:
    // The temporary folder.
    XpPath();
    explicit XpPath(const XpString& path);
    virtual ~XpPath() = default;
    XpPath(const XpPath&) = default;
    XpPath& operator=(const XpPath&) = default;

    XpString ToString() const { return m_strPath; }
    bool IsDirectory() const;
    // Exists and is not a directory.
    bool IsFile() const;
    // Creates every missing level.
    XpResult CreateDirectories() const;
    // Makes the last level a private folder (XpFileOperation::CreatePrivateDirectory).
    XpResult CreatePrivateDirectory() const;
    // Removes the directory with everything in it.
    XpResult RemoveDirectoryTree() const;

    // 1 when the path names a folder (every constructor sets it); a caller that derives a
    // file's path from a folder sets 0. Nothing in the file layer reads it.
    uint32_t GetKind() const { return m_dwKind; }
    void SetKind(uint32_t kind) { m_dwKind = kind; }

private:
    XpString m_strPath;
    uint32_t m_dwKind = 1;
};

// The path of a special folder (kinds in platform/PlatformFolders.h: 0 the temporary
// folder, 13 the running executable, ...). Empty on failure and for unknown kinds.
XpString GetSpecialFolderPath(int kind);

// The path of the file `name` beside the running executable, when that file exists and
// is not a directory; else empty.
XpString GetModuleSiblingPath(const XpString& name);
