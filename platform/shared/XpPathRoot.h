#pragma once
// The root of a path text, by the rules of a path style. Pure text work, no file system:
// both targets and the foundation's path helpers share this one reading.
//
// Windows roots:
//   "C:\"                  a drive's root
//   "C:"                   a drive with no separator after it: that drive's current folder
//   "\"                    a single leading separator: the root of the current drive
//   "\\server\share"       a network share ("\\server" alone when there is no share part)
//   "\\?\C:\", "\\.\C:\"   a drive behind a device prefix
//   "\\?\UNC\server\share" a network share behind the device prefix
//   "\\.\name", "\\?\name" any other device or volume ("\\.\PhysicalDrive0", "\\?\Volume{...}")
// POSIX has one root, "/". Every other path is relative and has no root.

#include <cstddef>

#include "platform/XpChar.h"

enum class XpPathStyle { Windows, Posix };

#if defined(_WIN32)
inline constexpr XpPathStyle kXpNativePathStyle = XpPathStyle::Windows;
#else
inline constexpr XpPathStyle kXpNativePathStyle = XpPathStyle::Posix;
#endif

enum class XpRootKind {
    None,           // a relative path (also "" and "\\", a network path without a server)
    Posix,          // "/"
    Drive,          // "C:\", "\\?\C:\", "\\?\C:"
    DriveRelative,  // "C:" not followed by a separator
    CurrentDrive,   // "\"
    Share,          // "\\server\share", "\\?\UNC\server\share"
    ServerOnly,     // "\\server": a network path without a share
    Device,         // "\\.\name", "\\?\name"
};

struct XpPathRoot {
    XpRootKind kind = XpRootKind::None;
    // Characters of a device prefix ("\\?\", "\\.\" or "\\?\UNC\"), 0 without one. For a
    // drive the letter stands right after it.
    std::size_t prefix = 0;
    // The root as a text shows it: a drive's root with its separator ("C:\"), a share,
    // server or device without the separator that may follow ("\\server\share").
    std::size_t length = 0;
    // Where the first name after the root begins: length, or one more when a separator
    // follows the root.
    std::size_t rest = 0;
};

// path need not be terminated; length is its number of characters.
XpPathRoot XpParsePathRoot(const XpChar* path, std::size_t length, XpPathStyle style);
