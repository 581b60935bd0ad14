#include "plist/PlistTestSupport.h"

#include <cstdio>

// The conversions are the system's own: this file is the only one of the tests that sees
// <windows.h>, so its macros rename nothing elsewhere.
#if defined(_WIN32)
#include <windows.h>
#else
#include "platform/posix/PosixCommon.h"
#endif

namespace kestrow_test {

XpString Wide(const std::string& utf8)
{
#if defined(_WIN32)
    const int size = static_cast<int>(utf8.size());
    std::wstring out(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), static_cast<int>(out.size()));
#else
    const XpPlatformString out = XpPosixFromUtf8(utf8);
#endif
    return XpString(out.c_str(), static_cast<int32_t>(out.size()));
}

std::string Utf8(const XpChar* text, size_t length)
{
#if defined(_WIN32)
    const int size = static_cast<int>(length);
    std::string out(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr)),
                    '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, size, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    return out;
#else
    return XpPosixToUtf8(text, static_cast<std::ptrdiff_t>(length));
#endif
}

XpResult LoadXml(XpIniDict& dict, const std::string& xml)
{
    return dict.LoadFromString(Wide(xml).GetString());
}

std::string SaveXml(const XpIniDict& dict)
{
    XpString xml;
    const XpResult rc = dict.SaveToString(xml);
    if (rc == XpRc::Ok) return Utf8(xml);
    char text[32];
    std::snprintf(text, sizeof text, "<failed 0x%04x>", static_cast<unsigned>(rc));
    return text;
}

std::string TextAt(const XpIniElement& root, const char* path)
{
    const XpIniElement* element = root.Find(Wide(path).GetString());
    if (!element) return "<missing>";
    XpString text;
    if (element->GetString(text) != XpRc::Ok) return "<not a string>";
    return Utf8(text);
}

}  // namespace kestrow_test
