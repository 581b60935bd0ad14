#pragma once
// The one UTF-16 <-> UTF-8 codec of the tree, by code point, with one policy for bad input:
// an unpaired surrogate in UTF-16, and each maximal part of an ill-formed UTF-8 sequence
// that could have begun a valid character (or any other stray byte), becomes U+FFFD. The
// result is therefore always well-formed, and well-formed input round-trips unchanged.
//
// Pure code: both targets use it (Linux for file names and its UTF-8 code page, the
// foundation wherever it handles code points).

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/XpChar.h"

inline constexpr char32_t kXpReplacementCharacter = 0xFFFD;

inline bool XpIsHighSurrogate(uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool XpIsLowSurrogate(uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point that begins text (length units, at least 1) and the units it takes (1 or 2).
size_t XpUtf16Decode(const XpChar* text, size_t length, char32_t* codePoint);
// A code point as 1 or 2 UTF-16 units; the count written. Surrogates and values beyond
// U+10FFFF are written as U+FFFD.
size_t XpUtf16Encode(char32_t codePoint, XpChar out[2]);

// The code point that begins bytes (length bytes, at least 1) and the bytes it takes (1 to 4).
size_t XpUtf8Decode(const char* bytes, size_t length, char32_t* codePoint);
// A code point as 1 to 4 UTF-8 bytes; the count written. Surrogates and values beyond
// U+10FFFF are written as U+FFFD.
size_t XpUtf8Encode(char32_t codePoint, char out[4]);
// The length of the sequence that this byte begins: 2 to 4 for a lead byte, 1 for anything else.
int XpUtf8SequenceLength(unsigned char lead);

namespace XpUtfDetail {
// Decodes each code point of the source and hands the units of its encoding to put.
template <class To, class From, class Put>
void Convert(const From* text, size_t length, Put& put)
{
    for (size_t i = 0; i < length;) {
        char32_t codePoint;
        To units[4];
        size_t count;
        if constexpr (std::is_same_v<From, char>) {
            i += XpUtf8Decode(text + i, length - i, &codePoint);
            count = XpUtf16Encode(codePoint, units);
        } else {
            i += XpUtf16Decode(text + i, length - i, &codePoint);
            count = XpUtf8Encode(codePoint, units);
        }
        for (size_t j = 0; j < count; ++j) put(units[j]);
    }
}
}  // namespace XpUtfDetail

// Whole texts. put is called with each unit (char or XpChar) in order.
template <class Put>
void XpUtf16ToUtf8(const XpChar* text, size_t length, Put&& put)
{
    XpUtfDetail::Convert<char>(text, length, put);
}

template <class Put>
void XpUtf8ToUtf16(const char* text, size_t length, Put&& put)
{
    XpUtfDetail::Convert<XpChar>(text, length, put);
}

std::string XpUtf16ToUtf8(const XpChar* text, size_t length);
XpPlatformString XpUtf8ToUtf16(const char* text, size_t length);
