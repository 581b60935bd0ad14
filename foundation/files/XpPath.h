#pragma once
// XpPath: the path value of the file layer, and the special-folder lookup behind it.

#include <cstdint>

#include "foundation/XpResult.h"
#include "foundation/text/XpString.h"

// The kind word of a path value (32 bits, as stored).
enum class XpPathKind : uint32_t { File = 0, Folder = 1 };

class XpPath {
public:
    // The temporary folder.
    XpPath();
    explicit XpPath(const XpString& path);
    virtual ~XpPath() = default;
    XpPath(const XpPath&) = default;
    XpPath& operator=(const XpPath&) = default;

    XpString ToString() const { return m_path; }
    bool IsDirectory() const;
    // Exists and is not a directory.
    bool IsFile() const;
    // Creates every missing level.
    XpResult CreateDirectories() const;
    // Makes the last level a private folder (XpFileOperation::CreatePrivateDirectory).
    XpResult CreatePrivateDirectory() const;
    // Removes the directory with everything in it.
    XpResult RemoveDirectoryTree() const;

    // What the path names: every constructor says a folder; the download stage marks the
    // package path it derives from its work folder as a file. Nothing in the file layer
    // reads it.
    XpPathKind GetKind() const { return m_kind; }
    void SetKind(XpPathKind kind) { m_kind = kind; }

private:
    XpString m_path;
    XpPathKind m_kind = XpPathKind::Folder;
};

// The path of a special folder (kinds in platform/PlatformFolders.h: 0 the temporary
// folder, 13 the running executable, ...). Empty on failure and for unknown kinds.
XpString GetSpecialFolderPath(int kind);

// The path of the file `name` beside the running executable, when that file exists and
// is not a directory; else empty.
XpString GetModuleSiblingPath(const XpString& name);
