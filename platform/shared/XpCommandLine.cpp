#include "platform/shared/XpCommandLine.h"

namespace {

bool IsBlank(XpChar c)
{
    return c == XpChar(' ') || c == XpChar('\t');
}

}  // namespace

std::vector<XpPlatformString> XpSplitCommandLine(const XpChar* commandLine)
{
    std::vector<XpPlatformString> words;
    if (commandLine == nullptr || commandLine[0] == 0) return words;
    const XpChar* p = commandLine;

    // The program: quoted up to the next quote, or up to the first blank.
    XpPlatformString program;
    bool quoted = false;
    for (; *p != 0; ++p) {
        if (*p == XpChar('"')) {
            quoted = !quoted;
            continue;
        }
        if (!quoted && IsBlank(*p)) break;
        program += *p;
    }
    words.push_back(program);

    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == 0) break;
        XpPlatformString word;
        bool inQuotes = false;
        for (;;) {
            size_t backslashes = 0;
            while (*p == XpChar('\\')) {
                ++p;
                ++backslashes;
            }
            if (*p == XpChar('"')) {
                word.append(backslashes / 2, XpChar('\\'));
                if (backslashes % 2 == 1) {
                    word += XpChar('"');
                    ++p;
                } else if (inQuotes && p[1] == XpChar('"')) {
                    word += XpChar('"');
                    p += 2;
                } else {
                    inQuotes = !inQuotes;
                    ++p;
                }
                continue;
            }
            word.append(backslashes, XpChar('\\'));
            if (*p == 0 || (!inQuotes && IsBlank(*p))) break;
            word += *p++;
        }
        words.push_back(word);
    }
    return words;
}

XpPlatformString XpQuoteCommandLineArgument(const XpPlatformString& argument)
{
    bool plain = !argument.empty();
    for (const XpChar c : argument)
        if (IsBlank(c) || c == XpChar('"')) plain = false;
    if (plain) return argument;

    XpPlatformString quoted(1, XpChar('"'));
    size_t backslashes = 0;
    for (const XpChar c : argument) {
        if (c == XpChar('\\')) {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        if (c == XpChar('"')) backslashes = backslashes * 2 + 1;
        quoted.append(backslashes, XpChar('\\'));
        backslashes = 0;
        quoted += c;
    }
    // Backslashes before the closing quote are doubled too.
    quoted.append(backslashes * 2, XpChar('\\'));
    quoted += XpChar('"');
    return quoted;
}
