#pragma once
// Texts of package URLs: the URL test, the trimming of an answer, and the package file
// name that a URL gives.

#include <cstddef>

#include "foundation/text/XpString.h"

// Whether the text begins with a URL scheme: two or more letters, digits, "+", "-" or
// "." followed by ":" ("C:\..." is a path, not a URL). Nothing after the scheme is tested.
bool IsUrl(const XpString& text);

// The text without leading and trailing blanks, tabs and line ends.
XpString TrimBlanks(const XpString& text);

// The package URL that an answer's body gives: its bytes as text of the ANSI code page
// (up to a first zero byte), trimmed. Whether it is a URL.
bool PackageUrlFromBody(const char* bytes, size_t size, XpString& url);

// Whether the name can be created as it stands in a folder on Windows: not empty, not "."
// or "..", no character below 0x20 nor any of < > : " / \ | ? *, no trailing dot or
// blank, and not a device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, in any
// case, with or without an extension).
bool IsPlainFileName(const XpString& name);

// The package file name of a URL: the part before the first "?", split as a file path at
// its last "/" or "\" and its last "." into name and extension, each of at most 255
// characters, joined again. Empty when a part is too long or the name is not plain
// (a URL that ends in "/" among others).
XpString PackageFileNameFromUrl(const XpString& url);
