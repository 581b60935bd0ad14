#pragma once
// Pure text operations on paths: no file-system access. Two rule sets exist, and both
// are usable on every host so that each can be tested anywhere:
//   Windows: "\" separates, roots are "C:\", "\", "\\server\share" and the device forms
//            ("\\?\C:\", "\\?\UNC\server\share", "\\.\name"): see XpPathRoot.h.
//   POSIX:   "/" separates, the only root is "/".
// Every function defaults to the rules of the target it runs on.

#include "foundation/text/XpString.h"
#include "platform/shared/XpPathRoot.h"

// The separator of a rule set: '\' or '/'.
XpChar XpPathSeparator(XpPathStyle style = kXpNativePathStyle);

// folder + one separator + name (one leading separator of name dropped); an empty
// folder gives the name unchanged.
XpString CombinePath(const XpString& folder, const XpString& name, XpPathStyle style = kXpNativePathStyle);
// folder: up to and including the last separator (one trailing separator of the path
// is ignored first); title: the name after it without its extension. Either out may be
// null.
void SplitPath(const XpString& path, XpString* folder, XpString* title, XpPathStyle style = kXpNativePathStyle);
XpString GetDirectoryPart(const XpString& path, XpPathStyle style = kXpNativePathStyle);
XpString GetFileTitle(const XpString& path, XpPathStyle style = kXpNativePathStyle);
// The text after the last separator; a trailing separator is ignored once.
XpString GetFileNamePart(const XpString& path, XpPathStyle style = kXpNativePathStyle);
// The root of the path as XpParsePathRoot reads it, or an empty text for a relative path
// and for a drive without a separator ("C:dir"), which names no root.
XpString GetPathRoot(const XpString& path, XpPathStyle style = kXpNativePathStyle);
// True for a path that names no folder of its own: an empty one, or under the Windows
// rules a drive letter without its root ("Q:", "Q:name"), which the system resolves
// against that drive's current folder. Walks over a tree refuse such paths.
bool IsEmptyOrDriveRelative(const XpString& path, XpPathStyle style = kXpNativePathStyle);
