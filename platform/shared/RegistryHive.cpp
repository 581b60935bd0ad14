#include "platform/shared/RegistryHive.h"

#include <bit>
#include <cstring>
#include <string>
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

// The key of a path in the table of sections. An ASCII path: its bytes with bit 5
// cleared (so letters of either case meet), eight to a word, the last word filled with
// 'A'; any other path: its units folded to upper case, four 16-bit units to a word.
// Words are mixed one by one, then with the length. A clash only costs a comparison.
constexpr uint64_t kKeyStart = 0xCBF29CE484222325ull;
constexpr uint64_t kKeyFold = 0xDFDFDFDFDFDFDFDFull;
constexpr uint64_t kKeyPad = 0x41;

uint64_t KeyStep(uint64_t key, uint64_t word)
{
    return std::rotl(key ^ (word * 0x9FB21C651E98DF25ull), 23);
}

uint64_t KeyEnd(uint64_t key, std::size_t length)
{
    key ^= length * 0x9E3779B97F4A7C15ull;
    key ^= key >> 29;
    key *= 0xBF58476D1CE4E5B9ull;
    return key ^ (key >> 32);
}

// Folds in the units from i on, eight bytes at a time, the last word filled.
template <class U>
uint64_t AsciiKeyTail(uint64_t key, const U* units, std::size_t i, std::size_t count)
{
    if constexpr (sizeof(U) == 1) {
        for (; i + 8 <= count; i += 8) {
            uint64_t word;
            std::memcpy(&word, units + i, 8);
            key = KeyStep(key, word & kKeyFold);
        }
        if (i < count && count >= 8) {
            // The last eight bytes, shifted down past the ones already in, then filled.
            const unsigned missing = static_cast<unsigned>(8 - (count - i)) * 8;
            uint64_t word;
            std::memcpy(&word, units + count - 8, 8);
            word = (word >> missing) | (0x4141414141414141ull << (64 - missing));
            return KeyStep(key, word & kKeyFold);
        }
    }
    for (; i < count; i += 8) {
        uint64_t word = 0;
        for (std::size_t lane = 0; lane < 8; ++lane)
            word |= (i + lane < count ? static_cast<uint64_t>(units[i + lane]) & 0xFF : kKeyPad) << (8 * lane);
        key = KeyStep(key, word & kKeyFold);
    }
    return key;
}

template <class U>
uint64_t PathKey(const U* units, std::size_t count)
{
    uint32_t all = 0;
    for (std::size_t i = 0; i < count; ++i) all |= static_cast<uint32_t>(units[i]);
    if (all < 0x80) return KeyEnd(AsciiKeyTail(kKeyStart, units, 0, count), count);
    uint64_t key = kKeyStart;
    for (std::size_t i = 0; i < count; i += 4) {
        uint64_t word = 0;
        for (std::size_t lane = 0; lane < 4; ++lane) {
            const uint64_t unit = i + lane < count ? Fold(static_cast<uint32_t>(units[i + lane])) : 'A';
            word |= unit << (16 * lane);
        }
        key = KeyStep(key, word);
    }
    return KeyEnd(key, count);
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

// Classes of the units below 256, for the quick checks.
constexpr uint32_t kNotHex = 1;  // not a hexadecimal digit

struct UnitClasses {
    uint8_t of[256];
};

constexpr UnitClasses MakeUnitClasses()
{
    UnitClasses classes{};
    for (int u = 0; u < 256; ++u) {
        const bool hex = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        classes.of[u] = static_cast<uint8_t>(hex ? 0 : kNotHex);
    }
    return classes;
}

constexpr UnitClasses kUnitClasses = MakeUnitClasses();

template <class U>
uint32_t ClassOf(U unit)
{
    const uint32_t u = static_cast<uint32_t>(unit);
    return u < 256 ? kUnitClasses.of[u] : kNotHex;
}

// Sixteen bytes of units compared at once (the compilers' vector extensions, which
// both targets' compilers have).
typedef uint8_t ByteLanes __attribute__((vector_size(16)));
typedef uint16_t UnitLanes __attribute__((vector_size(16)));

template <class U>
struct LanesOf {
    using Type = ByteLanes;
    using Lane = uint8_t;
};
template <>
struct LanesOf<char16_t> {
    using Type = UnitLanes;
    using Lane = uint16_t;  // (a char16_t operand here crashes clang 14)
};

typedef uint64_t TwoWords __attribute__((vector_size(16)));
typedef char SignedBytes __attribute__((vector_size(16)));
typedef short SignedUnits __attribute__((vector_size(16)));

// One bit per lane (the lowest for the first) of a comparison's result: the processor's
// own instruction where it has one, else a multiplication that gathers the top bits.
template <class U, class Result>
uint32_t LaneBits(const Result& result)
{
#if defined(__SSE2__)
    if constexpr (sizeof(U) == 1) {
        return static_cast<uint32_t>(__builtin_ia32_pmovmskb128(std::bit_cast<SignedBytes>(result)));
    } else {
        const SignedBytes packed = __builtin_ia32_packsswb128(std::bit_cast<SignedUnits>(result), SignedUnits{});
        return static_cast<uint32_t>(__builtin_ia32_pmovmskb128(packed)) & 0xFF;
    }
#else
    const TwoWords halves = std::bit_cast<TwoWords>(result);
    if constexpr (sizeof(U) == 1) {
        const auto pack = [](uint64_t half) {
            return static_cast<uint32_t>(((half & 0x8080808080808080ull) * 0x0002040810204081ull) >> 56);
        };
        return pack(halves[0]) | pack(halves[1]) << 8;
    } else {
        const auto pack = [](uint64_t half) {
            return static_cast<uint32_t>(((half & 0x8000800080008000ull) * 0x0000200040008001ull) >> 60);
        };
        return pack(halves[0]) | pack(halves[1]) << 4;
    }
#endif
}

// The first unit at or after i that is '"', '\\' or below 0x20 (so LF, NUL and the
// other control characters), or end.
template <class U>
std::size_t FindQuoteStop(const U* text, std::size_t i, std::size_t end)
{
    using Lanes = typename LanesOf<U>::Type;
    constexpr std::size_t kLanes = 16 / sizeof(U);
    for (; i + kLanes <= end; i += kLanes) {
        Lanes units;
        std::memcpy(&units, text + i, 16);
        const uint32_t hits = LaneBits<U>((units == '"') | (units == '\\') |
                                          ((units & static_cast<typename LanesOf<U>::Lane>(~0x1F)) == 0));
        if (hits != 0) return i + static_cast<std::size_t>(std::countr_zero(hits));
    }
    while (i < end && text[i] != '"' && text[i] != '\\' && static_cast<uint32_t>(text[i]) >= 0x20) ++i;
    return i;
}

typedef uint8_t EightBytes __attribute__((vector_size(8)));

// The units of a key path from a header, sixteen bytes at a time: false when a name is
// empty or holds a NUL; *ascii tells whether every unit is below 0x80, and *key is the
// path's key when it is.
template <class U>
bool CheckPath(const U* text, std::size_t begin, std::size_t end, bool* ascii, uint64_t* key)
{
    using Lanes = typename LanesOf<U>::Type;
    constexpr std::size_t kLanes = 16 / sizeof(U);
    if (begin == end || text[begin] == '\\' || text[end - 1] == '\\') return false;
    Lanes units, next;
    decltype(units == units) bad{};
    Lanes all{};
    uint64_t hash = kKeyStart;
    std::size_t i = begin;
    for (; i + kLanes < end; i += kLanes) {
        std::memcpy(&units, text + i, 16);
        std::memcpy(&next, text + i + 1, 16);
        bad |= (units == 0) | ((units == '\\') & (next == '\\'));
        all |= units;
        uint64_t words[2];
        if constexpr (sizeof(U) == 1) {
            std::memcpy(words, &units, 16);
            hash = KeyStep(KeyStep(hash, words[0] & kKeyFold), words[1] & kKeyFold);
        } else {
            const EightBytes bytes = __builtin_convertvector(units, EightBytes);
            std::memcpy(words, &bytes, 8);
            hash = KeyStep(hash, words[0] & kKeyFold);
        }
    }
    uint32_t tail = 0, high = 0;
    if (end - begin > kLanes) {
        // The last units once more, overlapping the checked ones (the checks do not
        // mind); the "]" after the path ends the shifted copy.
        std::memcpy(&units, text + end - kLanes, 16);
        std::memcpy(&next, text + end - kLanes + 1, 16);
        bad |= (units == 0) | ((units == '\\') & (next == '\\'));
        all |= units;
    } else {
        for (std::size_t j = i; j < end; ++j) {
            const uint32_t unit = static_cast<uint32_t>(text[j]);
            tail |= static_cast<uint32_t>(unit == 0) | static_cast<uint32_t>(unit == '\\' && text[j - 1] == '\\');
            high |= unit;
        }
    }
    const TwoWords lanes = std::bit_cast<TwoWords>(bad);
    const TwoWords seen = std::bit_cast<TwoWords>(all);
    const uint64_t wide = sizeof(U) == 1 ? 0x8080808080808080ull : 0xFF80FF80FF80FF80ull;
    if ((lanes[0] | lanes[1]) != 0 || tail != 0) return false;
    *ascii = high < 0x80 && ((seen[0] | seen[1]) & wide) == 0;
    *key = KeyEnd(AsciiKeyTail(hash, text + begin, i - begin, end - begin), end - begin);
    return true;
}

bool IsBlankUnit(uint32_t unit)
{
    return unit == ' ' || unit == '\t';
}

// The end of a line as EndLine reads it: blanks, an optional CR, then LF or the end of
// the text; *next is where the following line begins.
template <class U>
bool IsLineEnd(const U* text, std::size_t i, std::size_t end, std::size_t* next)
{
    while (i < end && IsBlankUnit(static_cast<uint32_t>(text[i]))) ++i;
    if (i < end && text[i] == '\r') ++i;
    if (i < end && text[i] != '\n') return false;
    *next = i < end ? i + 1 : end;
    return true;
}

// From an opening quote past the closing one, the only escapes being "\\" and "\"",
// looking closer only at the units that may need it. False at a LF, a NUL, another
// escape or the end.
template <class U>
bool SkipQuoted(const U* text, std::size_t* at, std::size_t end)
{
    using Lanes = typename LanesOf<U>::Type;
    constexpr std::size_t kLanes = 16 / sizeof(U);
    std::size_t i = *at + 1;
    // Sixteen bytes at a time, looking only at the units that may need it.
    while (i + kLanes <= end) {
        Lanes units;
        std::memcpy(&units, text + i, 16);
        const auto hits =
            (units == '"') | (units == '\\') | ((units & static_cast<typename LanesOf<U>::Lane>(~0x1F)) == 0);
        std::size_t next = i + kLanes;
        for (uint32_t stops = LaneBits<U>(hits); stops != 0; stops &= stops - 1) {
            const std::size_t lane = static_cast<std::size_t>(std::countr_zero(stops));
            const std::size_t pos = i + lane;
            if (text[pos] == '"') {
                *at = pos + 1;
                return true;
            }
            if (text[pos] == '\n' || text[pos] == 0) return false;
            if (text[pos] != '\\') continue;  // another control character: text like any other
            if (pos + 1 >= end || (text[pos + 1] != '\\' && text[pos + 1] != '"')) return false;
            // The escaped unit is text.
            if (lane + 1 < kLanes) {
                stops &= ~(uint32_t{1} << (lane + 1));
            } else {
                next = pos + 2;
            }
        }
        i = next;
    }
    for (; i < end; ++i) {
        if (text[i] == '"') {
            *at = i + 1;
            return true;
        }
        if (text[i] == '\n' || text[i] == 0) return false;
        if (text[i] == '\\') {
            if (i + 1 >= end || (text[i + 1] != '\\' && text[i + 1] != '"')) return false;
            ++i;
        }
    }
    return false;
}

// Hexadecimal pairs each followed by a comma, a window of whole ones at a time; where
// the next one is not such a pair.
template <class U>
std::size_t SkipHexTriples(const U* text, std::size_t i, std::size_t end)
{
    using Lanes = typename LanesOf<U>::Type;
    constexpr std::size_t kLanes = 16 / sizeof(U);
    constexpr std::size_t kWindow = kLanes / 3 * 3;
    constexpr uint32_t kCommas = sizeof(U) == 1 ? 0x4924 : 0x24;  // lanes 2, 5, 8, 11, 14
    constexpr uint32_t kWanted = (1u << kWindow) - 1;
    for (; i + kLanes <= end; i += kWindow) {
        Lanes units;
        std::memcpy(&units, text + i, 16);
        // Bit 5 set makes the letters lower case (and only 'A' to 'F' become 'a' to 'f').
        const Lanes lower = units | 0x20;
        const auto hex = ((units - '0') <= 9) | ((lower - 'a') <= 5);
        const auto comma = units == ',';
        const uint32_t good = (LaneBits<U>(hex) & ~kCommas) | (LaneBits<U>(comma) & kCommas);
        if ((good & kWanted) != kWanted) break;
    }
    while (i + 3 <= end && ((ClassOf(text[i]) | ClassOf(text[i + 1])) & kNotHex) == 0 && text[i + 2] == ',') i += 3;
    return i;
}

template <class U>
bool IsHexPair(const U* text, std::size_t i)
{
    return ((ClassOf(text[i]) | ClassOf(text[i + 1])) & kNotHex) == 0;
}

// A value line, from its name to its line end, in the plain forms that regedit writes,
// read quickly: true with *next after its last line when it is one; false leaves the
// line to the general parser, which decides.
template <class U>
bool SkipPlainValue(const U* text, std::size_t i, std::size_t end, std::size_t* next)
{
    if (text[i] == '@') {
        ++i;
    } else {
        i = FindQuoteStop(text, i + 1, end);
        if (i >= end || text[i] != '"') return false;
        ++i;
    }
    if (i + 1 >= end || text[i] != '=') return false;
    ++i;
    if (text[i] == '"') return SkipQuoted(text, &i, end) && IsLineEnd(text, i, end, next);
    if (text[i] == 'd') {
        if (end - i < 7 || !SameAscii(text + i, "dword:", 6)) return false;
        const std::size_t digits = i += 6;
        uint32_t bad = 0;
        if (i + 8 <= end) {
            for (std::size_t d = 0; d < 8; ++d) bad |= ClassOf(text[i + d]);
            if ((bad & kNotHex) == 0) return IsLineEnd(text, i + 8, end, next);  // as regedit writes it
        }
        while (i < end && i - digits < 8 && (ClassOf(text[i]) & kNotHex) == 0) ++i;
        return i > digits && IsLineEnd(text, i, end, next);
    }
    if (end - i < 4 || text[i] != 'h' || text[i + 1] != 'e' || text[i + 2] != 'x') return false;
    i += 3;
    if (text[i] == '(') {
        const std::size_t digits = ++i;
        while (i < end && i - digits < 8 && (ClassOf(text[i]) & kNotHex) == 0) ++i;
        if (i == digits || i >= end || text[i] != ')') return false;
        ++i;
    }
    if (i >= end || text[i] != ':') return false;
    ++i;
    for (;;) {
        i = SkipHexTriples(text, i, end);
        if (i + 2 <= end && IsHexPair(text, i)) return IsLineEnd(text, i + 2, end, next);
        if (i >= end || text[i] != '\\') return IsLineEnd(text, i, end, next);
        // Continued after the blanks of the next line; an empty one is left to the
        // general parser.
        if (!IsLineEnd(text, i + 1, end, &i) || i >= end) return false;
        while (i < end && IsBlankUnit(static_cast<uint32_t>(text[i]))) ++i;
        if (i >= end || text[i] == '\r' || text[i] == '\n') return false;
    }
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
    const Decoder decoder{m_encoding, &m_codec};
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
    Decode(Decoder{m_encoding, &m_codec}, text + section.pathBegin, section.pathLength, path);
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
    const Decoder decoder{m_encoding, &m_codec};
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
    const Decoder decoder{m_encoding, &m_codec};
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
