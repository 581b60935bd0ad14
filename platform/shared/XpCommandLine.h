#pragma once
// Command lines by the Windows rules: the one text that CreateProcessW passes and the
// argument vector that a Windows C program sees in it. Linux starts programs with an
// argument vector, so it splits the command line here exactly as the program would on
// Windows; quoting is the inverse, for callers that build a command line from arguments.
//
// The rules of the Microsoft C run-time (2008 and later):
// - The first word is the program: from a double quote to the next one, or up to the
//   first blank or tab; backslashes are plain characters there.
// - The other words are separated by blanks and tabs. Within a word, 2n backslashes
//   before a double quote give n backslashes and the quote opens or closes a quoted part;
//   2n+1 backslashes before it give n backslashes and a literal quote; backslashes before
//   anything else are plain. Inside a quoted part, two double quotes give one literal
//   quote and the part stays open.

#include <vector>

#include "platform/XpChar.h"

// The words of the command line; none for a null or empty one. A command line that
// starts with a blank has an empty first word.
std::vector<XpPlatformString> XpSplitCommandLine(const XpChar* commandLine);

// The argument as a word that XpSplitCommandLine gives back unchanged (not for the first
// word, whose rules differ): as it is when it holds no blank, tab or double quote and is
// not empty, otherwise quoted with its backslashes and quotes escaped.
XpPlatformString XpQuoteCommandLineArgument(const XpPlatformString& argument);
