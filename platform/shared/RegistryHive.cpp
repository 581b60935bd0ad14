#include "platform/shared/RegistryHive.h"

#include <utility>

#include "platform/PlatformErrors.h"
#include "platform/PlatformText.h"
#include "platform/shared/RegistryHiveModel.h"

namespace {

constexpr char kVersion5[] = "Windows Registry Editor Version 5.00";
constexpr char kVersion4[] = "REGEDIT4";

// Both targets are little-endian: a UTF-16LE file's units are the machine's own.
static_assert(sizeof(char16_t) == 2);

// How the text of names and strings turns into UTF-16.
struct Decoder {
    XpHiveEncoding encoding;
    const XpHiveCodec* codec;
};

void Decode(const Decoder&, const char16_t* units, std::size_t count, XpPlatformString& out)
{
    out.resize(count);
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<XpChar>(units[i]);
}

void Decode(const Decoder& decoder, const unsigned char* bytes, std::size_t count, XpPlatformString& out)
{
    const char* text = reinterpret_cast<const char*>(bytes);
    if (decoder.encoding == XpHiveEncoding::Utf8) {
        out = decoder.codec->utf8ToWide(text, count);
        return;
    }
    out.clear();
    if (count == 0) return;
    const int length = static_cast<int>(count);
    const int needed = XpPlatformAnsiToWide(text, length, nullptr, 0);
    if (needed <= 0) return;
    out.resize(static_cast<std::size_t>(needed));
    out.resize(static_cast<std::size_t>(XpPlatformAnsiToWide(text, length, out.data(), needed)));
}

void AppendUnits(std::vector<uint8_t>& bytes, const XpPlatformString& text)
{
    for (const XpChar c : text) {
        const uint16_t unit = static_cast<uint16_t>(c);
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
}

int HexDigit(uint32_t u)
{
    if (u >= '0' && u <= '9') return static_cast<int>(u - '0');
    u |= 0x20;
    if (u >= 'a' && u <= 'f') return static_cast<int>(u - 'a' + 10);
    return -1;
}

// A position in the text of one of the two unit widths (bytes or UTF-16 units).
template <class U>
struct Cursor {
    const U* text;
    std::size_t pos;
    std::size_t end;

    bool AtEnd() const { return pos >= end; }
    uint32_t Peek() const { return pos < end ? static_cast<uint32_t>(text[pos]) : 0xFFFFFFFFu; }
    void SkipBlanks()
    {
        while (pos < end && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    }
    bool AtLineEnd() const { return pos >= end || text[pos] == '\r' || text[pos] == '\n'; }
    // Blanks, an optional CR, then LF or the end of the text; consumed. False when
    // anything else is left on the line.
    bool EndLine()
    {
        SkipBlanks();
        if (pos < end && text[pos] == '\r') ++pos;
        if (pos >= end) return true;
        if (text[pos] != '\n') return false;
        ++pos;
        return true;
    }
    void SkipLine()
    {
        while (pos < end && text[pos] != '\n') ++pos;
        if (pos < end) ++pos;
    }
    // An ASCII word, letters compared without regard to case; consumed when it matches.
    bool Match(const char* word)
    {
        std::size_t i = 0;
        for (; word[i] != 0; ++i) {
            if (pos + i >= end) return false;
            uint32_t u = static_cast<uint32_t>(text[pos + i]);
            if (u >= 'A' && u <= 'Z') u |= 0x20;
            if (u != static_cast<unsigned char>(word[i])) return false;
        }
        pos += i;
        return true;
    }
};

// At the opening quote: reads to the closing one; "\\" and "\"" are the only escapes.
// Text holds no line break and no NUL (names are handed around NUL-terminated). out
// (when not null) gets the text.
template <class U>
bool ParseQuoted(Cursor<U>& c, const Decoder& decoder, XpPlatformString* out)
{
    ++c.pos;
    const std::size_t start = c.pos;
    bool escaped = false;
    for (;;) {
        if (c.pos >= c.end) return false;
        const U u = c.text[c.pos];
        if (u == '"') break;
        if (u == '\n' || u == 0) return false;
        if (u == '\\') {
            if (c.pos + 1 >= c.end || (c.text[c.pos + 1] != '\\' && c.text[c.pos + 1] != '"')) return false;
            escaped = true;
            c.pos += 2;
            continue;
        }
        ++c.pos;
    }
    const std::size_t stop = c.pos++;
    if (out == nullptr) return true;
    if (!escaped) {
        Decode(decoder, c.text + start, stop - start, *out);
        return true;
    }
    std::vector<U> raw;
    raw.reserve(stop - start);
    for (std::size_t i = start; i < stop; ++i) {
        if (c.text[i] == '\\') ++i;
        raw.push_back(c.text[i]);
    }
    Decode(decoder, raw.data(), raw.size(), *out);
    return true;
}

// "@" or a quoted name, then "=".
template <class U>
bool ParseName(Cursor<U>& c, const Decoder& decoder, XpPlatformString* name)
{
    if (c.Peek() == '@') {
        ++c.pos;
        if (name != nullptr) name->clear();
    } else if (c.Peek() == '"') {
        if (!ParseQuoted(c, decoder, name)) return false;
    } else {
        return false;
    }
    c.SkipBlanks();
    if (c.Peek() != '=') return false;
    ++c.pos;
    c.SkipBlanks();
    return true;
}

// Bytes as two hexadecimal digits each, separated by commas; a "\" after a comma
// continues the list on the next line. Consumes the list's last line end.
template <class U>
bool ParseHexList(Cursor<U>& c, std::vector<uint8_t>* bytes)
{
    bool expectByte = true;  // at the start or after a comma
    for (;;) {
        c.SkipBlanks();
        if (c.AtLineEnd()) return c.EndLine();
        const uint32_t u = c.Peek();
        if (u == '\\') {
            if (!expectByte) return false;
            ++c.pos;
            if (!c.EndLine() || c.AtEnd()) return false;
            continue;
        }
        if (!expectByte || c.pos + 1 >= c.end) return false;
        const int high = HexDigit(u);
        const int low = HexDigit(static_cast<uint32_t>(c.text[c.pos + 1]));
        if (high < 0 || low < 0) return false;
        c.pos += 2;
        if (bytes != nullptr) bytes->push_back(static_cast<uint8_t>(high * 16 + low));
        expectByte = false;
        c.SkipBlanks();
        if (c.Peek() == ',') {
            ++c.pos;
            expectByte = true;
        }
    }
}

// Up to eight hexadecimal digits; false when there is none.
template <class U>
bool ParseNumber(Cursor<U>& c, uint32_t* number)
{
    uint32_t value = 0;
    int digits = 0;
    for (int digit; digits < 8 && (digit = HexDigit(c.Peek())) >= 0; ++digits, ++c.pos)
        value = value * 16 + static_cast<uint32_t>(digit);
    *number = value;
    return digits > 0;
}

// The data after "=" to the end of its (last) line. out (when not null) gets type and
// bytes.
template <class U>
bool ParseData(Cursor<U>& c, const Decoder& decoder, XpHiveValue* out)
{
    if (c.Peek() == '"') {
        XpPlatformString text;
        if (!ParseQuoted(c, decoder, out != nullptr ? &text : nullptr)) return false;
        if (out != nullptr) {
            out->type = 1;
            out->data.clear();
            AppendUnits(out->data, text);
            out->data.push_back(0);
            out->data.push_back(0);
        }
        return c.EndLine();
    }
    if (c.Match("dword:")) {
        uint32_t number = 0;
        if (!ParseNumber(c, &number)) return false;
        if (out != nullptr) {
            out->type = 4;
            out->data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                         static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        }
        return c.EndLine();
    }
    if (!c.Match("hex")) return false;
    uint32_t type = 3;
    if (c.Peek() == '(') {
        ++c.pos;
        if (!ParseNumber(c, &type) || c.Peek() != ')') return false;
        ++c.pos;
    }
    if (c.Peek() != ':') return false;
    ++c.pos;
    if (out == nullptr) return ParseHexList<U>(c, nullptr);
    out->type = type;
    out->data.clear();
    if (!ParseHexList(c, &out->data)) return false;
    // REGEDIT4 files hold the string types in the ANSI code page.
    if (decoder.encoding == XpHiveEncoding::Ansi && (type == 1 || type == 2 || type == 7)) {
        XpPlatformString text;
        Decode(decoder, out->data.data(), out->data.size(), text);
        out->data.clear();
        AppendUnits(out->data, text);
    }
    return true;
}

bool SameAscii(const unsigned char* a, const char* b, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        if (a[i] != static_cast<unsigned char>(b[i])) return false;
    return b[length] == 0;
}

bool SameAscii(const char16_t* a, const char* b, std::size_t length)
{
    for (std::size_t i = 0; i < length; ++i)
        if (a[i] != static_cast<unsigned char>(b[i])) return false;
    return b[length] == 0;
}

// The root name of a header, compared without regard to case.
template <class U>
bool IsRootName(const U* text, std::size_t length, const XpChar* name)
{
    std::size_t i = 0;
    for (; i < length && name[i] != 0; ++i)
        if (XpHiveFoldCase(static_cast<XpChar>(text[i])) != XpHiveFoldCase(name[i])) return false;
    return i == length && name[i] == 0;
}

// Where the first line ends (the LF, or the end) and whether it reads as `word`.
template <class U>
bool FirstLineIs(const U* text, std::size_t begin, std::size_t end, const char* word, std::size_t* next)
{
    std::size_t stop = begin;
    while (stop < end && text[stop] != '\n') ++stop;
    *next = stop < end ? stop + 1 : stop;
    while (stop > begin && (text[stop - 1] == '\r' || text[stop - 1] == ' ' || text[stop - 1] == '\t')) --stop;
    std::size_t length = 0;
    while (word[length] != 0) ++length;
    return stop - begin == length && SameAscii(text + begin, word, length);
}

}  // namespace

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

XpHiveImage::XpHiveImage(std::vector<char16_t> storage, std::size_t byteCount, const XpHiveRoot& root,
                         const XpHiveCodec& codec)
    : m_storage(std::move(storage)), m_bytes(byteCount), m_root(root), m_codec(codec)
{
    if (m_bytes > m_storage.size() * 2) m_bytes = m_storage.size() * 2;
    if (m_bytes == 0) {
        m_valid = true;
        return;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(m_storage.data());
    if (m_bytes >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        if (m_bytes % 2 != 0) return;
        m_encoding = XpHiveEncoding::Utf16;
        m_valid = Index(m_storage.data(), 1, m_bytes / 2);
    } else {
        const std::size_t begin = (m_bytes >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) ? 3 : 0;
        m_encoding = XpHiveEncoding::Utf8;
        m_valid = Index(bytes, begin, m_bytes);
    }
    if (!m_valid) m_sections.clear();
}

template <class U>
bool XpHiveImage::Index(const U* text, std::size_t begin, std::size_t end)
{
    Cursor<U> c{text, begin, end};
    if (!FirstLineIs(text, begin, end, kVersion5, &c.pos)) {
        if (sizeof(U) != 1 || begin != 0 || !FirstLineIs(text, begin, end, kVersion4, &c.pos)) return false;
        m_encoding = XpHiveEncoding::Ansi;
    }
    const Decoder decoder{m_encoding, &m_codec};
    // Any line that does not parse rejects the whole file (the caller drops the sections).
    while (!c.AtEnd()) {
        c.SkipBlanks();
        if (c.AtLineEnd()) {
            if (!c.EndLine()) return false;
            continue;
        }
        const uint32_t u = c.Peek();
        if (u == ';') {
            c.SkipLine();
            continue;
        }
        if (u == '[') {
            if (!m_sections.empty()) m_sections.back().bodyEnd = c.pos;
            // The header's path runs to the last "]" of its line.
            std::size_t lineEnd = c.pos;
            while (lineEnd < end && text[lineEnd] != '\n') ++lineEnd;
            std::size_t close = lineEnd;
            while (close > c.pos && (text[close - 1] == ' ' || text[close - 1] == '\t' || text[close - 1] == '\r'))
                --close;
            if (close < c.pos + 2 || text[close - 1] != ']') return false;
            const std::size_t open = c.pos + 1, stop = close - 1;
            std::size_t separator = open;
            while (separator < stop && text[separator] != '\\') ++separator;
            if (!IsRootName(text + open, separator - open, m_root.name) &&
                !IsRootName(text + open, separator - open, m_root.shortName))
                return false;
            Section section{stop, 0, 0, 0, true};
            if (separator < stop) {
                section.pathBegin = separator + 1;
                section.pathLength = stop - section.pathBegin;
                // Names are never empty (no "\\" inside, none at the end) and hold no NUL.
                bool canonical = section.pathLength > 0 && text[stop - 1] != '\\';
                for (std::size_t i = section.pathBegin; canonical && i < stop; ++i) {
                    if ((text[i] == '\\' && text[i - 1] == '\\') || text[i] == 0) canonical = false;
                    if (static_cast<uint32_t>(text[i]) >= 0x80) section.ascii = false;
                }
                if (!canonical) return false;
            }
            c.pos = lineEnd < end ? lineEnd + 1 : lineEnd;
            section.bodyBegin = c.pos;
            m_sections.push_back(section);
            continue;
        }
        if (m_sections.empty() || !ParseName<U>(c, decoder, nullptr) || !ParseData<U>(c, decoder, nullptr))
            return false;
    }
    if (!m_sections.empty()) m_sections.back().bodyEnd = end;
    return true;
}

template <class U>
bool XpHiveImage::SectionMatches(const U* text, const Section& section, const XpPlatformString& path, bool below) const
{
    const std::size_t n = path.size();
    XpPlatformString decoded;
    const XpChar* units = nullptr;
    std::size_t length = section.pathLength;
    if constexpr (sizeof(U) == 1) {
        if (!section.ascii) {
            Decode(Decoder{m_encoding, &m_codec}, text + section.pathBegin, section.pathLength, decoded);
            units = decoded.data();
            length = decoded.size();
        }
    }
    if (below
            ? (length <= n || (n > 0 && (units ? units[n] : static_cast<XpChar>(text[section.pathBegin + n])) != '\\'))
            : length != n)
        return false;
    for (std::size_t i = 0; i < n; ++i) {
        const XpChar c = units ? units[i] : static_cast<XpChar>(text[section.pathBegin + i]);
        if (c != path[i] && XpHiveFoldCase(c) != XpHiveFoldCase(path[i])) return false;
    }
    return true;
}

template <class U>
bool XpHiveImage::Exists(const U* text, const XpPlatformString& path) const
{
    for (const Section& section : m_sections)
        if (SectionMatches(text, section, path, false) || SectionMatches(text, section, path, true)) return true;
    return false;
}

template <class U>
bool XpHiveImage::Find(const U* text, const XpPlatformString& path, const XpChar* name, XpHiveValue* value) const
{
    const Decoder decoder{m_encoding, &m_codec};
    std::size_t nameLength = 0;
    if (name != nullptr)
        while (name[nameLength] != 0) ++nameLength;
    bool found = false;
    XpPlatformString candidate;
    for (const Section& section : m_sections) {
        if (!SectionMatches(text, section, path, false)) continue;
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
    }
    return found;
}

template <class U>
bool XpHiveImage::Load(const U* text, XpHiveModel& model) const
{
    const Decoder decoder{m_encoding, &m_codec};
    XpPlatformString path;
    for (const Section& section : m_sections) {
        Decode(decoder, text + section.pathBegin, section.pathLength, path);
        model.CreateKey(path);
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
            XpHiveValue value;
            ParseName(c, decoder, &value.name);
            ParseData(c, decoder, &value);
            model.SetValue(path, std::move(value));
        }
    }
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
    model.SetEncoding(m_encoding);
    if (m_encoding == XpHiveEncoding::Utf16) return Load(m_storage.data(), model);
    return Load(reinterpret_cast<const unsigned char*>(m_storage.data()), model);
}
