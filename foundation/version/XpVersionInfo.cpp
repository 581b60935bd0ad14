#include "foundation/version/XpVersionInfo.h"

#include <cstring>

#include "platform/PlatformText.h"
#include "platform/PlatformVersion.h"

namespace {

// The text is copied into a buffer of this many characters, the terminator included.
constexpr uint32_t kStringBuffer = 256;

// The combinations tried when the translation table leads nowhere: every code page with
// every language, code pages outside.
constexpr uint16_t kFallbackCodePages[] = {0, 932, 949, 950, 1200, 1250, 1251, 1252, 1253, 1254, 1255, 1256};
constexpr uint16_t kFallbackLanguages[] = {0x0401, 0x0402, 0x0403, 0x0404, 0x0405, 0x0406, 0x0407, 0x0408, 0x0409,
                                           0x040A, 0x040B, 0x040C, 0x040D, 0x040E, 0x040F, 0x0410, 0x0411, 0x0412,
                                           0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B,
                                           0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0804, 0x0807, 0x0809,
                                           0x080A, 0x080C, 0x0810, 0x0813, 0x0814, 0x0816, 0x081A, 0x0C0C, 0x100C};

// How many bytes of the block lie from data to its end; 0 when data is outside it.
size_t BytesLeft(const std::vector<unsigned char>& block, const unsigned char* data)
{
    const unsigned char* begin = block.data();
    const unsigned char* end = begin + block.size();
    if (data < begin || data > end) return 0;
    return static_cast<size_t>(end - data);
}

// The string at "\StringFileInfo\<language><code page>\<name>"; false when it is not there.
bool QueryString(const std::vector<unsigned char>& block, uint16_t language, uint16_t codePage, const XpChar* name,
                 XpString* text)
{
    XpString subBlock;
    subBlock.Format(XP_T("\\StringFileInfo\\%04x%04x\\%s"), language, codePage, name);
    XpVersionValue value;
    if (!XpPlatformQueryVersionBlock(block, subBlock.GetString(), &value)) return false;

    // The text ends at its terminator, its reported length, the buffer or the block,
    // whichever comes first.
    const size_t room = BytesLeft(block, value.data) / sizeof(XpChar);
    XpChar buffer[kStringBuffer] = {};
    uint32_t length = 0;
    while (length < value.length && length < kStringBuffer - 1 && length < room) {
        XpChar c;
        std::memcpy(&c, value.data + length * sizeof(XpChar), sizeof c);
        if (c == 0) break;
        buffer[length++] = c;
    }
    *text = XpString(buffer, static_cast<int32_t>(length));
    return true;
}

}  // namespace

XpString GetModulePath()
{
    XpPlatformString path;
    if (XpPlatformModulePath(path) != 0) return XpString();
    return XpString(path.c_str());
}

XpString GetVersionBlockString(const std::vector<unsigned char>& block, const XpChar* name, uint32_t ansiCodePage)
{
    XpVersionValue table;
    if (name == nullptr || !XpPlatformQueryVersionBlock(block, XP_T("\\VarFileInfo\\Translation"), &table)) {
        return XpString();
    }
    // Entries of two little-endian words, language then code page; a table shorter than
    // one entry has none to offer and leads straight to the fixed combinations.
    const size_t entries = std::min<size_t>(table.length, BytesLeft(block, table.data)) / 4;
    XpString text;
    if (entries > 0) {
        size_t chosen = 0;
        for (size_t i = 0; i < entries; ++i) {
            if (table.data[4 * i + 2] + (table.data[4 * i + 3] << 8) == static_cast<int>(ansiCodePage)) {
                chosen = i;
                break;
            }
        }
        const unsigned char* entry = table.data + 4 * chosen;
        const auto language = static_cast<uint16_t>(entry[0] | (entry[1] << 8));
        const auto codePage = static_cast<uint16_t>(entry[2] | (entry[3] << 8));
        if (QueryString(block, language, codePage, name, &text)) return text;
    }
    for (const uint16_t codePage : kFallbackCodePages) {
        for (const uint16_t language : kFallbackLanguages) {
            if (QueryString(block, language, codePage, name, &text)) return text;
        }
    }
    return XpString();
}

XpString GetFileVersionString(const XpChar* filePath)
{
    std::vector<unsigned char> block;
    if (filePath == nullptr || XpPlatformReadVersionBlock(filePath, block) != 0) return XpString();
    return GetVersionBlockString(block, XP_T("FileVersion"), XpPlatformAnsiCodePage());
}

XpString GetModuleVersion(const XpChar* filePath)
{
    if (filePath != nullptr) return GetFileVersionString(filePath);
    const XpString self = GetModulePath();
    return self.IsEmpty() ? XpString() : GetFileVersionString(self.GetString());
}
