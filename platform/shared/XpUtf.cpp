#include "platform/shared/XpUtf.h"

namespace {

bool IsScalarValue(char32_t codePoint)
{
    return codePoint <= 0x10FFFF && !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
}

}  // namespace

size_t XpUtf16Decode(const XpChar* text, size_t length, char32_t* codePoint)
{
    const auto unit = static_cast<uint16_t>(text[0]);
    if (XpIsHighSurrogate(unit) && length >= 2) {
        const auto low = static_cast<uint16_t>(text[1]);
        if (XpIsLowSurrogate(low)) {
            *codePoint = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
            return 2;
        }
    }
    *codePoint = XpIsHighSurrogate(unit) || XpIsLowSurrogate(unit) ? kXpReplacementCharacter : char32_t{unit};
    return 1;
}

size_t XpUtf16Encode(char32_t codePoint, XpChar out[2])
{
    if (!IsScalarValue(codePoint)) codePoint = kXpReplacementCharacter;
    if (codePoint < 0x10000) {
        out[0] = static_cast<XpChar>(codePoint);
        return 1;
    }
    codePoint -= 0x10000;
    out[0] = static_cast<XpChar>(0xD800 + (codePoint >> 10));
    out[1] = static_cast<XpChar>(0xDC00 + (codePoint & 0x3FF));
    return 2;
}

int XpUtf8SequenceLength(unsigned char lead)
{
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

size_t XpUtf8Decode(const char* bytes, size_t length, char32_t* codePoint)
{
    const auto lead = static_cast<unsigned char>(bytes[0]);
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    const int expected = XpUtf8SequenceLength(lead);
    *codePoint = kXpReplacementCharacter;
    if (expected == 1) return 1;
    // The allowed range of the second byte excludes overlong forms, surrogates and code
    // points beyond U+10FFFF, so that a sequence is refused at its first bad byte.
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    char32_t value = lead & (0xFF >> (expected + 1));
    size_t taken = 1;
    for (; taken < static_cast<size_t>(expected) && taken < length; ++taken) {
        const auto next = static_cast<unsigned char>(bytes[taken]);
        const unsigned char min = taken == 1 ? low : 0x80;
        const unsigned char max = taken == 1 ? high : 0xBF;
        if (next < min || next > max) return taken;  // the maximal bad part: one U+FFFD
        value = (value << 6) | (next & 0x3F);
    }
    if (taken == static_cast<size_t>(expected)) *codePoint = value;
    return taken;
}

size_t XpUtf8Encode(char32_t codePoint, char out[4])
{
    if (!IsScalarValue(codePoint)) codePoint = kXpReplacementCharacter;
    if (codePoint < 0x80) {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (codePoint >> 18));
    out[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 4;
}

std::string XpUtf16ToUtf8(const XpChar* text, size_t length)
{
    std::string out;
    out.reserve(length);
    XpUtf16ToUtf8(text, length, [&out](char byte) { out += byte; });
    return out;
}

XpPlatformString XpUtf8ToUtf16(const char* text, size_t length)
{
    XpPlatformString out;
    out.reserve(length);
    XpUtf8ToUtf16(text, length, [&out](XpChar unit) { out += unit; });
    return out;
}
