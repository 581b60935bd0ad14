#include "plist/PlistTestSupport.h"

#include <cstdio>

namespace kestrow_test {

XpString Wide(const std::string& utf8)
{
    std::basic_string<XpChar> out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
        char32_t c = extra == 0 ? b : b & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
        i += 1 + extra;
        if (c >= 0x10000) {
            out += static_cast<XpChar>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<XpChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<XpChar>(c);
        }
    }
    return XpString(out.c_str(), static_cast<int32_t>(out.size()));
}

std::string Utf8(const XpChar* text, size_t length)
{
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        char32_t c = static_cast<uint16_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && (text[i + 1] & 0xFC00) == 0xDC00)
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
        else if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
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
