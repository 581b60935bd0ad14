#include "platform/shared/XpPathRoot.h"

namespace {

bool IsAsciiLetter(XpChar c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

XpChar FoldAscii(XpChar c)
{
    return (c >= 'a' && c <= 'z') ? XpChar(c - 'a' + 'A') : c;
}

// The index of the first '\' at or after start, or length.
std::size_t NextSeparator(const XpChar* p, std::size_t length, std::size_t start)
{
    while (start < length && p[start] != '\\') ++start;
    return start;
}

// A root that ends at end, followed by a separator or by the end of the text.
XpPathRoot Ending(XpRootKind kind, std::size_t prefix, std::size_t end, std::size_t length)
{
    return XpPathRoot{kind, prefix, end, end < length ? end + 1 : end};
}

// "server\share" from start on: the share ends at the separator after it, or with the text.
XpPathRoot Share(const XpChar* p, std::size_t length, std::size_t start, std::size_t prefix)
{
    const std::size_t afterServer = NextSeparator(p, length, start);
    // "\\server" or "\\server\": no share named.
    if (afterServer + 1 >= length) return XpPathRoot{XpRootKind::ServerOnly, prefix, length, length};
    return Ending(XpRootKind::Share, prefix, NextSeparator(p, length, afterServer + 1), length);
}

// What follows "\\?\" or "\\.\" (4 characters).
XpPathRoot AfterDevicePrefix(const XpChar* p, std::size_t length)
{
    constexpr std::size_t kPrefix = 4;
    const XpChar unc[4] = {'U', 'N', 'C', '\\'};
    bool isUnc = length >= kPrefix + 4;
    for (std::size_t i = 0; isUnc && i < 4; ++i) isUnc = FoldAscii(p[kPrefix + i]) == unc[i];
    if (isUnc) return Share(p, length, kPrefix + 4, kPrefix + 4);

    if (length >= kPrefix + 2 && IsAsciiLetter(p[kPrefix]) && p[kPrefix + 1] == ':') {
        // The volume itself ("\\?\C:") is as absolute as its root folder.
        if (length > kPrefix + 2 && p[kPrefix + 2] == '\\')
            return XpPathRoot{XpRootKind::Drive, kPrefix, kPrefix + 3, kPrefix + 3};
        return Ending(XpRootKind::Drive, kPrefix, kPrefix + 2, length);
    }
    return Ending(XpRootKind::Device, kPrefix, NextSeparator(p, length, kPrefix), length);
}

XpPathRoot WindowsRoot(const XpChar* p, std::size_t length)
{
    if (length == 0) return XpPathRoot{};
    if (length >= 2 && p[0] == '\\' && p[1] == '\\') {
        if (length >= 4 && (p[2] == '?' || p[2] == '.') && p[3] == '\\') return AfterDevicePrefix(p, length);
        if (length < 3) return XpPathRoot{};
        return Share(p, length, 2, 0);
    }
    if (p[0] == '\\') return XpPathRoot{XpRootKind::CurrentDrive, 0, 1, 1};
    if (length >= 2 && IsAsciiLetter(p[0]) && p[1] == ':') {
        if (length >= 3 && p[2] == '\\') return XpPathRoot{XpRootKind::Drive, 0, 3, 3};
        return XpPathRoot{XpRootKind::DriveRelative, 0, 2, 2};
    }
    return XpPathRoot{};
}

}  // namespace

XpPathRoot XpParsePathRoot(const XpChar* path, std::size_t length, XpPathStyle style)
{
    if (path == nullptr) return XpPathRoot{};
    if (style == XpPathStyle::Windows) return WindowsRoot(path, length);
    if (length > 0 && path[0] == '/') return XpPathRoot{XpRootKind::Posix, 0, 1, 1};
    return XpPathRoot{};
}
