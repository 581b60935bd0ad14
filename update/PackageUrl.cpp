#include "update/PackageUrl.h"

#include <cstdint>

namespace {

// The path-splitting buffers hold 256 characters, the terminator included.
constexpr int32_t kMaxNamePart = 255;

bool IsSchemeChar(XpChar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' ||
           c == '.';
}

bool IsBlank(XpChar c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

XpChar Upper(XpChar c)
{
    return c >= 'a' && c <= 'z' ? static_cast<XpChar>(c - 'a' + 'A') : c;
}

bool EqualsAscii(const XpChar* text, int32_t length, const char* word)
{
    int32_t i = 0;
    for (; i < length && word[i] != 0; ++i) {
        if (Upper(text[i]) != static_cast<XpChar>(word[i])) return false;
    }
    return i == length && word[i] == 0;
}

bool IsDeviceName(const XpChar* text, int32_t length)
{
    // The part before the first dot, trailing blanks dropped, as Windows reads it.
    int32_t end = 0;
    while (end < length && text[end] != '.') ++end;
    while (end > 0 && text[end - 1] == ' ') --end;
    for (const char* device : {"CON", "PRN", "AUX", "NUL"}) {
        if (EqualsAscii(text, end, device)) return true;
    }
    if (end == 4 && (EqualsAscii(text, 3, "COM") || EqualsAscii(text, 3, "LPT"))) {
        return text[3] >= '1' && text[3] <= '9';
    }
    return false;
}

}  // namespace

bool IsUrl(const XpString& text)
{
    const XpChar* p = text.GetString();
    int32_t i = 0;
    while (i < text.GetLength() && IsSchemeChar(p[i])) ++i;
    return i >= 2 && i < text.GetLength() && p[i] == ':';
}

XpString TrimBlanks(const XpString& text)
{
    const XpChar* p = text.GetString();
    int32_t begin = 0;
    int32_t end = text.GetLength();
    while (begin < end && IsBlank(p[begin])) ++begin;
    while (end > begin && IsBlank(p[end - 1])) --end;
    return XpString(p + begin, end - begin);
}

bool PackageUrlFromBody(const char* bytes, size_t size, XpString& url)
{
    if (size > static_cast<size_t>(XpNarrowString::kMaxLength)) size = static_cast<size_t>(XpNarrowString::kMaxLength);
    url = TrimBlanks(XpNarrowString(bytes, static_cast<int32_t>(size)).ToWide());
    return IsUrl(url);
}

bool IsPlainFileName(const XpString& name)
{
    const XpChar* p = name.GetString();
    const int32_t length = name.GetLength();
    if (length == 0) return false;
    for (int32_t i = 0; i < length; ++i) {
        const XpChar c = p[i];
        if (c < 0x20 || c == '<' || c == '>' || c == ':' || c == '"' || c == '/' || c == '\\' || c == '|' || c == '?' ||
            c == '*') {
            return false;
        }
    }
    // "." and ".." end in a dot too.
    if (p[length - 1] == '.' || p[length - 1] == ' ') return false;
    return !IsDeviceName(p, length);
}

XpString PackageFileNameFromUrl(const XpString& url)
{
    const XpChar* p = url.GetString();
    int32_t end = 0;
    while (end < url.GetLength() && p[end] != '?') ++end;
    int32_t nameStart = end;
    while (nameStart > 0 && p[nameStart - 1] != '/' && p[nameStart - 1] != '\\') --nameStart;
    int32_t dot = end;
    for (int32_t i = end; i > nameStart; --i) {
        if (p[i - 1] == '.') {
            dot = i - 1;
            break;
        }
    }
    if (dot - nameStart > kMaxNamePart || end - dot > kMaxNamePart) return XpString();
    XpString name(p + nameStart, end - nameStart);
    return IsPlainFileName(name) ? name : XpString();
}
