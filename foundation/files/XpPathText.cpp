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

// Index of the first occurrence of c at or after start, or -1.
int32_t FindFirst(const XpString& text, XpChar c, int32_t start)
{
    const XpChar* p = text.GetString();
    for (int32_t i = start; i < text.GetLength(); ++i) {
        if (p[i] == c) return i;
    }
    return -1;
}

// text[start, start + count)
XpString Mid(const XpString& text, int32_t start, int32_t count)
{
    return XpString(text.GetString() + start, count);
}

bool IsAsciiLetter(XpChar c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

XpString WindowsRoot(const XpString& path)
{
    const int32_t length = path.GetLength();
    const XpChar* p = path.GetString();
    if (length == 0 || p[0] == '.') return XpString();
    if (length >= 2 && p[0] == '\\' && p[1] == '\\') {
        // UNC: "\\server\share"; with no share part, everything there is.
        if (length < 3) return XpString();
        const int32_t afterServer = FindFirst(path, '\\', 2);
        if (afterServer < 0) return path;
        const int32_t afterShare = FindFirst(path, '\\', afterServer + 1);
        return afterShare < 0 ? path : path.Left(afterShare);
    }
    if (p[0] == '\\') return XpString(XP_T("\\"));
    // A drive root "X:\". A drive-relative "X:name" or a plain relative path names no
    // root, even when a separator follows further on.
    if (length >= 3 && IsAsciiLetter(p[0]) && p[1] == ':' && p[2] == '\\') return path.Left(3);
    return XpString();
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
    if (style == XpPathStyle::Windows) return WindowsRoot(path);
    if (!path.IsEmpty() && path.GetString()[0] == '/') return XpString(XP_T("/"));
    return XpString();
}

bool IsEmptyOrDriveRelative(const XpString& path, XpPathStyle style)
{
    if (path.IsEmpty()) return true;
    if (style != XpPathStyle::Windows) return false;
    const XpChar* p = path.GetString();
    if (path.GetLength() < 2 || !IsAsciiLetter(p[0]) || p[1] != ':') return false;
    // "Q:\name" has its root; so has "Q:/name", which the system reads alike.
    return GetPathRoot(path, style).IsEmpty() && !(path.GetLength() > 2 && p[2] == '/');
}
