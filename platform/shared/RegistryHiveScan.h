#pragma once
// The quick way through the lines of the forms that regedit writes, sixteen bytes at a
// time, and the keys of the table of key sections. Whatever a quick check does not take,
// the general parser (RegistryHiveSyntax.h) decides. Internal to RegistryHive.cpp.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/shared/RegistryHiveSyntax.h"

// Internal linkage: RegistryHive.cpp alone includes this, and the compiler then inlines
// what it calls once.
namespace {

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
