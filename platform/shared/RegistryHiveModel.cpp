#include "platform/shared/RegistryHiveModel.h"

#include <utility>

#include "platform/shared/XpUtf.h"

namespace {

constexpr std::size_t kLineWidth = 80;  // regedit's width for wrapped hexadecimal lists

void AppendAscii(XpPlatformString& text, const char* ascii)
{
    while (*ascii != 0) text += static_cast<XpChar>(*ascii++);
}

void AppendHexByte(XpPlatformString& text, uint32_t byte)
{
    static const char kDigits[] = "0123456789abcdef";
    text += static_cast<XpChar>(kDigits[(byte >> 4) & 0xF]);
    text += static_cast<XpChar>(kDigits[byte & 0xF]);
}

void AppendQuoted(XpPlatformString& text, const XpChar* units, std::size_t count)
{
    text += XpChar('"');
    for (std::size_t i = 0; i < count; ++i) {
        if (units[i] == '\\' || units[i] == '"') text += XpChar('\\');
        text += units[i];
    }
    text += XpChar('"');
}

bool HasUnpairedSurrogate(const XpChar* units, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const uint16_t unit = static_cast<uint16_t>(units[i]);
        if (XpIsHighSurrogate(unit) && i + 1 < count && XpIsLowSurrogate(static_cast<uint16_t>(units[i + 1]))) {
            ++i;
        } else if (XpIsHighSurrogate(unit) || XpIsLowSurrogate(unit)) {
            return true;
        }
    }
    return false;
}

// The quoted form gives the same bytes back only for a REG_SZ that ends in its one
// terminator and holds no line breaks, control characters or unpaired surrogates.
bool FitsQuotedForm(const XpHiveValue& value, XpPlatformString& text)
{
    const std::vector<uint8_t>& data = value.data;
    if (value.type != 1 || data.size() < 2 || data.size() % 2 != 0) return false;
    const std::size_t units = data.size() / 2 - 1;
    if (data[units * 2] != 0 || data[units * 2 + 1] != 0) return false;
    text.resize(units);
    for (std::size_t i = 0; i < units; ++i) {
        const uint16_t unit = static_cast<uint16_t>(data[i * 2] | (data[i * 2 + 1] << 8));
        if (unit < 0x20) return false;
        text[i] = static_cast<XpChar>(unit);
    }
    return !HasUnpairedSurrogate(text.data(), text.size());
}

void AppendValue(XpPlatformString& text, const XpHiveValue& value)
{
    const std::size_t lineStart = text.size();
    if (value.name.empty()) {
        text += XpChar('@');
    } else {
        AppendQuoted(text, value.name.data(), value.name.size());
    }
    text += XpChar('=');
    XpPlatformString quoted;
    if (FitsQuotedForm(value, quoted)) {
        AppendQuoted(text, quoted.data(), quoted.size());
    } else if (value.type == 4 && value.data.size() == 4) {
        AppendAscii(text, "dword:");
        for (int i = 3; i >= 0; --i) AppendHexByte(text, value.data[static_cast<std::size_t>(i)]);
    } else {
        if (value.type == 3) {
            AppendAscii(text, "hex:");
        } else {
            AppendAscii(text, "hex(");
            bool digits = false;
            for (int shift = 28; shift >= 0; shift -= 4) {
                const uint32_t digit = (value.type >> shift) & 0xF;
                if (digit == 0 && !digits && shift > 0) continue;
                digits = true;
                text += static_cast<XpChar>("0123456789abcdef"[digit]);
            }
            AppendAscii(text, "):");
        }
        std::size_t line = lineStart;
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            // Wrapped after a comma, as regedit wraps: "xx,\" and the rest indented.
            if (i > 0 && text.size() - line + 3 > kLineWidth - 2) {
                AppendAscii(text, "\\\r\n  ");
                line = text.size() - 2;
            }
            AppendHexByte(text, value.data[i]);
            if (i + 1 < value.data.size()) text += XpChar(',');
        }
    }
    AppendAscii(text, "\r\n");
}

}  // namespace

XpPlatformString XpHiveModel::Folded(const XpPlatformString& text)
{
    XpPlatformString folded(text);
    for (XpChar& c : folded) c = XpHiveFoldCase(c);
    return folded;
}

XpHiveKey* XpHiveModel::FindKey(const XpPlatformString& path)
{
    const auto it = m_index.find(Folded(path));
    return it == m_index.end() ? nullptr : &m_keys[it->second];
}

void XpHiveModel::Reindex()
{
    m_index.clear();
    for (std::size_t i = 0; i < m_keys.size(); ++i) m_index.emplace(Folded(m_keys[i].path), i);
}

bool XpHiveModel::KeyExists(const XpPlatformString& path) const
{
    if (path.empty()) return true;
    const XpPlatformString folded = Folded(path);
    if (m_index.count(folded) != 0) return true;
    for (const auto& entry : m_index)
        if (entry.first.size() > folded.size() && entry.first[folded.size()] == '\\' &&
            entry.first.compare(0, folded.size(), folded) == 0)
            return true;
    return false;
}

bool XpHiveModel::CreateKey(const XpPlatformString& path)
{
    if (FindKey(path) != nullptr) return false;
    m_keys.push_back(XpHiveKey{path, {}});
    m_index.emplace(Folded(path), m_keys.size() - 1);
    return true;
}

void XpHiveModel::SetValue(const XpPlatformString& path, XpHiveValue value)
{
    CreateKey(path);
    XpHiveKey* key = FindKey(path);
    for (XpHiveValue& existing : key->values) {
        if (XpHiveSameName(existing.name, value.name)) {
            // The value keeps the spelling of its name.
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    }
    key->values.push_back(std::move(value));
}

bool XpHiveModel::DeleteValue(const XpPlatformString& path, const XpPlatformString& name)
{
    XpHiveKey* key = FindKey(path);
    if (key == nullptr) return false;
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (XpHiveSameName(it->name, name)) {
            key->values.erase(it);
            return true;
        }
    }
    return false;
}

bool XpHiveModel::DeleteTree(const XpPlatformString& path)
{
    const XpPlatformString folded = Folded(path);
    const std::size_t before = m_keys.size();
    std::vector<XpHiveKey> kept;
    for (XpHiveKey& key : m_keys) {
        const XpPlatformString name = Folded(key.path);
        const bool inside =
            folded.empty() || name == folded ||
            (name.size() > folded.size() && name[folded.size()] == '\\' && name.compare(0, folded.size(), folded) == 0);
        if (!inside) kept.push_back(std::move(key));
    }
    m_keys = std::move(kept);
    Reindex();
    return m_keys.size() != before;
}

std::string XpHiveModel::Serialize(const XpHiveRoot& root) const
{
    XpPlatformString text;
    AppendAscii(text, "Windows Registry Editor Version 5.00\r\n\r\n");
    for (const XpHiveKey& key : m_keys) {
        text += XpChar('[');
        text += root.name;
        if (!key.path.empty()) {
            text += XpChar('\\');
            text += key.path;
        }
        AppendAscii(text, "]\r\n");
        for (const XpHiveValue& value : key.values) AppendValue(text, value);
        AppendAscii(text, "\r\n");
    }
    // Names are written as they are, so only they can hold what UTF-8 cannot carry.
    if (m_encoding != XpHiveEncoding::Utf16 && !HasUnpairedSurrogate(text.data(), text.size()))
        return XpUtf16ToUtf8(text.data(), text.size());
    std::string bytes;
    bytes.reserve(2 + text.size() * 2);
    bytes += '\xFF';
    bytes += '\xFE';
    for (const XpChar c : text) {
        const uint16_t unit = static_cast<uint16_t>(c);
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}
