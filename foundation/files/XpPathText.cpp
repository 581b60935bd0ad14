#include "foundation/files/XpPathText.h"

namespace {

// Index of the last occurrence of c in text[0, end), or -1.
int32_t FindLast(const XpString& text, XpChar c, int32_t end)
{
    const XpChar* p = text.GetString();
    for (int32_t i = end - 1; i >= 0; --i) {
        if (p[i] == c) return i;
    }
    return -1;
}

// text[start, start + count)
XpString Mid(const XpString& text, int32_t start, int32_t count)
{
    return XpString(text.GetString() + start, count);
}

}  // namespace

XpChar XpPathSeparator(XpPathStyle style)
{
    return style == XpPathStyle::Windows ? XpChar('\\') : XpChar('/');
}

XpString CombinePath(const XpString& folder, const XpString& name, XpPathStyle style)
{
    if (folder.IsEmpty()) return name;
    const XpChar sep = XpPathSeparator(style);
    XpString result = folder;
    if (folder.GetString()[folder.GetLength() - 1] != sep) {
        const XpChar separator[2] = {sep, 0};
        result += separator;
    }
    if (!name.IsEmpty() && name.GetString()[0] == sep) {
        result += name.GetString() + 1;
    } else {
        result += name;
    }
    return result;
}

void SplitPath(const XpString& path, XpString* folder, XpString* title, XpPathStyle style)
{
    const XpChar sep = XpPathSeparator(style);
    int32_t length = path.GetLength();
    if (length >= 2 && path.GetString()[length - 1] == sep) --length;

    const int32_t lastSep = FindLast(path, sep, length);
    if (folder != nullptr) *folder = path.Left(lastSep + 1);
    if (title != nullptr) {
        const int32_t nameStart = lastSep + 1;
        const int32_t dot = FindLast(path, '.', length);
        const int32_t nameEnd = dot >= nameStart ? dot : length;
        *title = Mid(path, nameStart, nameEnd - nameStart);
    }
}

XpString GetDirectoryPart(const XpString& path, XpPathStyle style)
{
    XpString folder;
    SplitPath(path, &folder, nullptr, style);
    return folder;
}

XpString GetFileTitle(const XpString& path, XpPathStyle style)
{
    XpString title;
    SplitPath(path, nullptr, &title, style);
    return title;
}

XpString GetFileNamePart(const XpString& path, XpPathStyle style)
{
    const XpChar sep = XpPathSeparator(style);
    int32_t length = path.GetLength();
    if (length > 0 && path.GetString()[length - 1] == sep) --length;
    const int32_t lastSep = FindLast(path, sep, length);
    if (lastSep < 0) return path.Left(length);
    return Mid(path, lastSep + 1, length - lastSep - 1);
}

XpString GetPathRoot(const XpString& path, XpPathStyle style)
{
    const XpPathRoot root = XpParsePathRoot(path.GetString(), static_cast<std::size_t>(path.GetLength()), style);
    if (root.kind == XpRootKind::DriveRelative) return XpString();
    return path.Left(static_cast<int32_t>(root.length));
}

bool IsEmptyOrDriveRelative(const XpString& path, XpPathStyle style)
{
    if (path.IsEmpty()) return true;
    const XpRootKind kind = XpParsePathRoot(path.GetString(), static_cast<std::size_t>(path.GetLength()), style).kind;
    // "Q:/name" has its root too: the system reads '/' after a drive as a separator.
    return kind == XpRootKind::DriveRelative && !(path.GetLength() > 2 && path.GetString()[2] == '/');
}
