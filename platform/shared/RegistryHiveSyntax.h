#pragma once
// The general parser of the hive text: one line at a time, every form that parses, with
// the value's type and bytes when asked for. Internal to the hive code
// (RegistryHive.cpp); templates over the two unit widths (bytes, UTF-16 units).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/PlatformText.h"
#include "platform/shared/RegistryHive.h"
#include "platform/shared/XpUtf.h"

// Internal linkage: RegistryHive.cpp alone includes this, and the compiler then inlines
// what it calls once.
namespace {

constexpr char kVersion5[] = "Windows Registry Editor Version 5.00";
constexpr char kVersion4[] = "REGEDIT4";

// Both targets are little-endian: a UTF-16LE file's units are the machine's own.
static_assert(sizeof(char16_t) == 2);

// How the text of names and strings turns into UTF-16.
struct Decoder {
    XpHiveEncoding encoding;
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
        out = XpUtf8ToUtf16(text, count);
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

template <class U>
bool StartsWithAscii(const U* text, const std::string& ascii)
{
    if constexpr (sizeof(U) == 1) {
        return std::memcmp(text, ascii.data(), ascii.size()) == 0;
    } else {
        for (std::size_t i = 0; i < ascii.size(); ++i)
            if (text[i] != static_cast<unsigned char>(ascii[i])) return false;
        return true;
    }
}

// XpHiveFoldCase with the ASCII case inline: nearly every name is ASCII.
uint32_t Fold(uint32_t unit)
{
    if (unit < 0x80) return unit - 'a' < 26u ? unit - 0x20 : unit;
    return static_cast<uint16_t>(XpHiveFoldCase(static_cast<XpChar>(unit)));
}

// The root name of a header, compared without regard to case.
template <class U>
bool IsRootName(const U* text, std::size_t length, const XpChar* name)
{
    std::size_t i = 0;
    for (; i < length && name[i] != 0; ++i)
        if (Fold(static_cast<uint32_t>(text[i])) != Fold(static_cast<uint16_t>(name[i]))) return false;
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

// Where the line that begins at pos ends: its LF, or the end.
template <class U>
std::size_t FindLineEnd(const U* text, std::size_t pos, std::size_t end)
{
    if constexpr (sizeof(U) == 1) {
        const void* found = std::memchr(text + pos, '\n', end - pos);
        return found != nullptr ? static_cast<std::size_t>(static_cast<const U*>(found) - text) : end;
    } else {
        while (pos < end && text[pos] != '\n') ++pos;
        return pos;
    }
}

}  // namespace
