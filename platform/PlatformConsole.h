#pragma once
// The program's standard input as the terminal view sees it.
// Windows: GetFileType of the standard input handle is FILE_TYPE_CHAR (a console).
// Linux: isatty on descriptor 0.

// A person can type on the standard input: it is a terminal (or console).
bool XpPlatformIsInputTerminal();
