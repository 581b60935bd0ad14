// Text conversion between UTF-16 and the system ANSI code page: the system's own calls with
// CP_ACP and no flags, so that unmappable characters become the code page's default
// character and invalid bytes U+FFFD, as everywhere else on the system.

#include <windows.h>

#include "platform/PlatformText.h"
#include "platform/shared/XpUtf.h"

int XpPlatformAnsiToWide(const char* src, int srcLen, XpChar* dst, int dstCount)
{
    return MultiByteToWideChar(CP_ACP, 0, src, srcLen, dst, dstCount);
}

int XpPlatformWideToAnsi(const XpChar* src, int srcLen, char* dst, int dstCount)
{
    return WideCharToMultiByte(CP_ACP, 0, src, srcLen, dst, dstCount, nullptr, nullptr);
}

int XpPlatformAnsiCharLength(unsigned char firstByte)
{
    // A system whose ANSI code page is UTF-8 has no DBCS lead bytes but multi-byte characters.
    if (GetACP() == CP_UTF8) return XpUtf8SequenceLength(firstByte);
    return IsDBCSLeadByte(firstByte) ? 2 : 1;
}

uint32_t XpPlatformAnsiCodePage()
{
    return GetACP();
}
