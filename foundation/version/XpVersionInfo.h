#pragma once
// The version resource of executable files: the running program's own path, one string of
// a file's version block, and the "FileVersion" string of a file or of the running
// program. Nothing here fails loudly: whatever is missing or unreadable gives the empty
// string.

#include <cstdint>
#include <vector>

#include "foundation/text/XpString.h"
#include "platform/XpChar.h"

// The full path of the running executable, from the system (not from the argument vector,
// which the starting program chooses); empty when the system cannot give it whole.
XpString GetModulePath();

// The string value name ("FileVersion", "ProductName", ...) of a version block. The string
// table is the one that the block's translation table names: its first entry of the ANSI
// code page ansiCodePage, else its first entry. When that table lacks the string, or the
// translation table is shorter than one entry, the fixed combinations of code pages
// (outer) and languages (inner) are tried in order. A block without a translation table
// gives the empty string. At most 255 characters come back.
XpString GetVersionBlockString(const std::vector<unsigned char>& block, const XpChar* name, uint32_t ansiCodePage);

// The "FileVersion" string of a file's version resource, looked up with the system's ANSI
// code page; empty when the file has none or it cannot be read.
XpString GetFileVersionString(const XpChar* filePath);

// GetFileVersionString of filePath, or of the running executable when filePath is null.
XpString GetModuleVersion(const XpChar* filePath);
