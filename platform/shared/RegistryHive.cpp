#include "platform/shared/RegistryHive.h"

#include <utility>

#include "platform/PlatformErrors.h"
#include "platform/shared/RegistryHiveModel.h"
#include "platform/shared/RegistryHiveScan.h"
#include "platform/shared/RegistryHiveSyntax.h"

// The image: the index of key sections over the file's text, and the lookups in it.

XpChar XpHiveFoldCase(XpChar c)
{
    const uint32_t u = static_cast<uint16_t>(c);
    if (u < 0x80) return (u >= 'a' && u <= 'z') ? static_cast<XpChar>(u - 0x20) : c;
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<XpChar>(u - 0x20);
    if (u == 0xFF) return static_cast<XpChar>(0x178);
    if (u >= 0x100 && u <= 0x17F) {
        if ((u <= 0x12F) || (u >= 0x132 && u <= 0x137) || (u >= 0x14A && u <= 0x177))
            return static_cast<XpChar>(u & ~1u);
        if ((u >= 0x139 && u <= 0x148) || (u >= 0x179 && u <= 0x17E))
            return (u & 1) != 0 ? c : static_cast<XpChar>(u - 1);
        return c;
    }
    if (u >= 0x3B1 && u <= 0x3C9 && u != 0x3C2) return static_cast<XpChar>(u - 0x20);
    if (u >= 0x430 && u <= 0x44F) return static_cast<XpChar>(u - 0x20);
    if (u >= 0x450 && u <= 0x45F) return static_cast<XpChar>(u - 0x50);
    if (u >= 0xFF41 && u <= 0xFF5A) return static_cast<XpChar>(u - 0x20);
    return c;
}

bool XpHiveSameName(const XpChar* a, const XpChar* b, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        if (a[i] != b[i] && XpHiveFoldCase(a[i]) != XpHiveFoldCase(b[i])) return false;
    return true;
}

bool XpHiveSameName(const XpPlatformString& a, const XpPlatformString& b)
{
    return a.size() == b.size() && XpHiveSameName(a.data(), b.data(), a.size());
}

uint32_t XpHiveJoinPath(const XpPlatformString& base, const XpChar* relative, XpPlatformString& out)
{
    out = base;
    if (relative == nullptr) return XpWinError::Success;
    if (relative[0] == '\\') return XpWinError::BadPathname;
    std::size_t i = 0;
    while (relative[i] != 0) {
        while (relative[i] == '\\') ++i;
        if (relative[i] == 0) break;
        const std::size_t start = i;
        while (relative[i] != 0 && relative[i] != '\\') ++i;
        if (!out.empty()) out += XpChar('\\');
        out.append(relative + start, i - start);
    }
    return XpWinError::Success;
}

XpHiveImage::XpHiveImage(std::vector<char16_t> storage, std::size_t byteCount, const XpHiveRoot& root)
    : m_storage(std::move(storage)), m_bytes(byteCount), m_root(root)
{
    for (const XpChar* c = root.name; *c != 0; ++c) m_rootPrefix += static_cast<char>(*c);
    m_rootPrefix += '\\';
    if (m_bytes > m_storage.size() * 2) m_bytes = m_storage.size() * 2;
    if (m_bytes >= (uint64_t{1} << 32)) return;
    if (m_bytes == 0) {
        m_valid = true;
        return;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_storage.data());
    if (m_bytes >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (m_bytes % 2 != 0) return;
        m_encoding = XpHiveEncoding::Utf16;
        m_sections.reserve(m_bytes / 512);
        m_valid = Index(m_storage.data(), 1, m_bytes / 2);
    } else {
        const std::size_t begin = (m_bytes >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) ? 3 : 0;
        m_encoding = XpHiveEncoding::Utf8;
        m_sections.reserve(m_bytes / 256);  // a guess at the keys, so that few copies happen
        m_valid = Index(bytes, begin, m_bytes);
    }
    if (m_valid) {
        BuildTable();
    } else {
        m_sections.clear();
    }
}

template <class U>
bool XpHiveImage::Index(const U* text, std::size_t begin, std::size_t end)
{
    std::size_t pos = begin;
    if (!FirstLineIs(text, begin, end, kVersion5, &pos)) {
        if (sizeof(U) != 1 || begin != 0 || !FirstLineIs(text, begin, end, kVersion4, &pos)) return false;
        m_encoding = XpHiveEncoding::Ansi;
    }
    const Decoder decoder{m_encoding};
    // Any line that does not parse rejects the whole file (the caller drops the sections).
    while (pos < end) {
        std::size_t first = pos;
        while (first < end && IsBlankUnit(static_cast<uint32_t>(text[first]))) ++first;
        const uint32_t unit = first < end ? static_cast<uint32_t>(text[first]) : '\n';
        Cursor<U> c{text, first, end};
        if (unit == '"' || unit == '@') {
            if (m_sections.empty()) return false;
            if (SkipPlainValue(text, first, end, &pos)) continue;
            if (!ParseName<U>(c, decoder, nullptr) || !ParseData<U>(c, decoder, nullptr)) return false;
            pos = c.pos;
            continue;
        }
        if (unit == '\r' || unit == '\n') {  // a blank line
            if (!c.EndLine()) return false;
            pos = c.pos;
            continue;
        }
        const std::size_t lineEnd = FindLineEnd(text, first, end);
        pos = lineEnd < end ? lineEnd + 1 : end;
        if (unit == ';') continue;
        if (unit != '[') return false;
        if (!m_sections.empty()) m_sections.back().bodyEnd = static_cast<uint32_t>(first);
        if (!IndexHeader(text, first, lineEnd)) return false;
        m_sections.back().bodyBegin = static_cast<uint32_t>(pos);
    }
    if (!m_sections.empty()) m_sections.back().bodyEnd = static_cast<uint32_t>(end);
    return true;
}

template <class U>
bool XpHiveImage::IndexHeader(const U* text, std::size_t open, std::size_t lineEnd)
{
    // The path runs to the last "]" of the line.
    std::size_t close = lineEnd;
    while (close > open && (text[close - 1] == ' ' || text[close - 1] == '\t' || text[close - 1] == '\r')) --close;
    if (close < open + 2 || text[close - 1] != ']') return false;
    const std::size_t rootBegin = open + 1, stop = close - 1;
    // Mostly the root's name as written, then the separator.
    std::size_t separator = rootBegin + m_rootPrefix.size() - 1;
    if (stop - rootBegin < m_rootPrefix.size() || !StartsWithAscii(text + rootBegin, m_rootPrefix)) {
        separator = rootBegin;
        while (separator < stop && text[separator] != '\\') ++separator;
        if (!IsRootName(text + rootBegin, separator - rootBegin, m_root.name) &&
            !IsRootName(text + rootBegin, separator - rootBegin, m_root.shortName))
            return false;
    }
    Section section{static_cast<uint32_t>(stop), 0, 0, 0, KeyEnd(kKeyStart, 0), true};
    if (separator < stop) {
        section.pathBegin = static_cast<uint32_t>(separator + 1);
        section.pathLength = static_cast<uint32_t>(stop - section.pathBegin);
        if (!CheckPath(text, section.pathBegin, stop, &section.ascii, &section.key)) return false;
        if constexpr (sizeof(U) == 1) {
            if (!section.ascii) {
                const XpPlatformString path = SectionPath(text, section);
                section.key = PathKey(path.data(), path.size());
            }
        } else if (!section.ascii) {
            section.key = PathKey(text + section.pathBegin, section.pathLength);
        }
    }
    m_sections.push_back(section);
    return true;
}

template <class U>
XpPlatformString XpHiveImage::SectionPath(const U* text, const Section& section) const
{
    XpPlatformString path;
    Decode(Decoder{m_encoding}, text + section.pathBegin, section.pathLength, path);
    return path;
}

template <class U>
bool XpHiveImage::SectionMatches(const U* text, const Section& section, const XpPlatformString& path, bool below) const
{
    const std::size_t n = path.size();
    if (sizeof(U) == 1 && !section.ascii) {
        const XpPlatformString own = SectionPath(text, section);
        if (below ? (own.size() <= n || (n > 0 && own[n] != '\\')) : own.size() != n) return false;
        return XpHiveSameName(own.data(), path.data(), n);
    }
    if (below ? (section.pathLength <= n || (n > 0 && text[section.pathBegin + n] != '\\')) : section.pathLength != n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        const uint32_t unit = static_cast<uint32_t>(text[section.pathBegin + i]);
        if (unit != static_cast<uint16_t>(path[i]) && Fold(unit) != Fold(static_cast<uint16_t>(path[i]))) return false;
    }
    return true;
}

void XpHiveImage::BuildTable()
{
    std::size_t size = 16;
    while (size < m_sections.size() * 2) size *= 2;
    m_slots.assign(size, 0);
    for (std::size_t i = 0; i < m_sections.size(); ++i) {
        std::size_t slot = static_cast<std::size_t>(m_sections[i].key) & (size - 1);
        while (m_slots[slot] != 0) slot = (slot + 1) & (size - 1);
        m_slots[slot] = static_cast<uint32_t>(i + 1);
    }
}

template <class U, class Visit>
void XpHiveImage::ForEachSection(const U* text, const XpPlatformString& path, Visit visit) const
{
    if (m_slots.empty()) return;
    const uint64_t key = PathKey(path.data(), path.size());
    const std::size_t mask = m_slots.size() - 1;
    // Sections of one path lie along its probe in file order.
    for (std::size_t slot = static_cast<std::size_t>(key) & mask; m_slots[slot] != 0; slot = (slot + 1) & mask) {
        const Section& section = m_sections[m_slots[slot] - 1];
        if (section.key == key && SectionMatches(text, section, path, false)) visit(section);
    }
}

template <class U>
bool XpHiveImage::Exists(const U* text, const XpPlatformString& path) const
{
    bool found = false;
    ForEachSection(text, path, [&found](const Section&) { found = true; });
    for (std::size_t i = 0; !found && i < m_sections.size(); ++i)
        found = SectionMatches(text, m_sections[i], path, true);
    return found;
}

template <class U>
bool XpHiveImage::Find(const U* text, const XpPlatformString& path, const XpChar* name, XpHiveValue* value) const
{
    const Decoder decoder{m_encoding};
    std::size_t nameLength = 0;
    if (name != nullptr)
        while (name[nameLength] != 0) ++nameLength;
    bool found = false;
    XpPlatformString candidate;
    ForEachSection(text, path, [&](const Section& section) {
        Cursor<U> c{text, section.bodyBegin, section.bodyEnd};
        while (!c.AtEnd()) {
            c.SkipBlanks();
            if (c.AtLineEnd()) {
                c.EndLine();
                continue;
            }
            if (c.Peek() == ';') {
                c.SkipLine();
                continue;
            }
            ParseName(c, decoder, &candidate);
            if (candidate.size() == nameLength && XpHiveSameName(candidate.data(), name, nameLength)) {
                ParseData(c, decoder, value);
                value->name = candidate;
                found = true;
            } else {
                ParseData<U>(c, decoder, nullptr);
            }
        }
    });
    return found;
}

template <class U>
bool XpHiveImage::Load(const U* text, XpHiveModel& model) const
{
    // The general parser reads every line again; it must agree with the index, which
    // took the quick way through the plain lines.
    const Decoder decoder{m_encoding};
    XpHiveModel loaded;
    loaded.SetEncoding(m_encoding);
    XpPlatformString path;
    for (const Section& section : m_sections) {
        Decode(decoder, text + section.pathBegin, section.pathLength, path);
        loaded.CreateKey(path);
        Cursor<U> c{text, section.bodyBegin, section.bodyEnd};
        while (!c.AtEnd()) {
            c.SkipBlanks();
            if (c.AtLineEnd()) {
                if (!c.EndLine()) return false;
                continue;
            }
            if (c.Peek() == ';') {
                c.SkipLine();
                continue;
            }
            XpHiveValue value;
            if (!ParseName(c, decoder, &value.name) || !ParseData(c, decoder, &value)) return false;
            loaded.SetValue(path, std::move(value));
        }
    }
    model = std::move(loaded);
    return true;
}

bool XpHiveImage::KeyExists(const XpPlatformString& path) const
{
    if (path.empty()) return true;
    if (m_encoding == XpHiveEncoding::Utf16) return Exists(m_storage.data(), path);
    return Exists(reinterpret_cast<const unsigned char*>(m_storage.data()), path);
}

bool XpHiveImage::FindValue(const XpPlatformString& path, const XpChar* name, XpHiveValue* value) const
{
    XpHiveValue found;
    const bool any = m_encoding == XpHiveEncoding::Utf16
                         ? Find(m_storage.data(), path, name, &found)
                         : Find(reinterpret_cast<const unsigned char*>(m_storage.data()), path, name, &found);
    if (any && value != nullptr) *value = std::move(found);
    return any;
}

bool XpHiveImage::ToModel(XpHiveModel& model) const
{
    if (!m_valid) return false;
    if (m_encoding == XpHiveEncoding::Utf16) return Load(m_storage.data(), model);
    return Load(reinterpret_cast<const unsigned char*>(m_storage.data()), model);
}
