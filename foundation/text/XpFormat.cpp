#include "foundation/text/XpFormat.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/PlatformText.h"
#include "platform/shared/XpUtf.h"

namespace {

constexpr XpChar kReplacement = kXpReplacementCharacter;

// Widths and precisions above this are taken as this; the text they ask for is produced
// (or counted) without any buffer of that size.
constexpr int64_t kMaxField = INT_MAX;

// At most this many digits are written; beyond them the exact decimal value of a double has
// only zeros (at most 1074 fractional digits, at most 767 significant ones), which are added
// as a count instead.
constexpr int kMaxFixedDigits = 1100;
constexpr int kMaxScientificDigits = 800;
// The exact fixed form of a double: 309 integral digits, the point and 1074 fractional digits.
constexpr size_t kExactBuffer = 1400;
constexpr int kHexDigits = 13;  // the fraction of a double in hex digits
// 309 integral digits, the point, the fractional digits and room for the sign.
constexpr size_t kNumberBuffer = 320 + kMaxFixedDigits;

// The output: as much as fits into the buffer, and the count of everything.
class Output {
public:
    Output(XpChar* buffer, size_t count)
        : m_buffer(count > 0 ? buffer : nullptr), m_limit(buffer != nullptr && count > 0 ? count - 1 : 0)
    {
    }

    void Put(XpChar c)
    {
        if (m_total < m_limit) m_buffer[m_total] = c;
        ++m_total;
    }
    void Put(const XpChar* text, size_t length)
    {
        if (m_total < m_limit) {
            const size_t room = static_cast<size_t>(m_limit - m_total);
            std::memcpy(m_buffer + m_total, text, sizeof(XpChar) * std::min(room, length));
        }
        m_total += length;
    }
    void PutAscii(std::string_view text)
    {
        for (const char c : text) Put(static_cast<XpChar>(static_cast<unsigned char>(c)));
    }
    void Repeat(XpChar c, uint64_t count)
    {
        if (m_total < m_limit) {
            const uint64_t written = std::min<uint64_t>(count, m_limit - m_total);
            std::fill_n(m_buffer + m_total, static_cast<size_t>(written), c);
        }
        m_total += count;
    }
    uint64_t Finish()
    {
        if (m_buffer != nullptr) m_buffer[std::min<uint64_t>(m_total, m_limit)] = 0;
        return m_total;
    }

private:
    XpChar* m_buffer;
    uint64_t m_limit;  // characters that fit before the terminator
    uint64_t m_total = 0;
};

enum class Size { Default, Char, Short, Long, Int32, Int64, Narrow, Wide };

struct Field {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool zero = false;
    bool alternate = false;
    int64_t width = 0;
    int64_t precision = -1;  // -1: none given
    Size size = Size::Default;
    bool narrowMark = false;  // 'h': narrow text or character
    bool wideMark = false;    // 'l' or 'w': wide text or character
};

bool IsDigit(XpChar c)
{
    return c >= '0' && c <= '9';
}

int64_t ReadNumber(const XpChar*& p)
{
    int64_t value = 0;
    while (IsDigit(*p)) {
        value = std::min<int64_t>(value * 10 + (*p - '0'), kMaxField);
        ++p;
    }
    return value;
}

// Pads the field to the width around a body: spaces before it (or after it when left
// aligned), or zeros between the prefix (sign, "0x") and the body.
template <class WriteBody>
void EmitPadded(Output& out, const Field& field, std::string_view prefix, uint64_t bodyLength, bool zeroPadding,
                WriteBody&& writeBody)
{
    const uint64_t length = prefix.size() + bodyLength;
    const uint64_t pad = static_cast<uint64_t>(field.width) > length ? static_cast<uint64_t>(field.width) - length : 0;
    const bool zeros = zeroPadding && field.zero && !field.left;
    if (!field.left && !zeros) out.Repeat(' ', pad);
    out.PutAscii(prefix);
    if (zeros) out.Repeat('0', pad);
    writeBody();
    if (field.left) out.Repeat(' ', pad);
}

// ---- integers ---------------------------------------------------------------------------

void FormatInteger(Output& out, const Field& field, XpChar conversion, XpFormatArguments& arguments)
{
    const bool isSigned = conversion == 'd' || conversion == 'i';
    uint64_t magnitude;
    bool negative = false;
    if (field.size == Size::Int64) {
        const int64_t value = arguments.NextInt64();
        negative = isSigned && value < 0;
        magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    } else {
        const int32_t raw = arguments.NextInt32();
        int64_t value;
        switch (field.size) {
            case Size::Char:
                value = isSigned ? int64_t{static_cast<int8_t>(raw)} : int64_t{static_cast<uint8_t>(raw)};
                break;
            case Size::Short:
                value = isSigned ? int64_t{static_cast<int16_t>(raw)} : int64_t{static_cast<uint16_t>(raw)};
                break;
            default:
                value = isSigned ? int64_t{raw} : int64_t{static_cast<uint32_t>(raw)};
                break;
        }
        negative = value < 0;
        magnitude = negative ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
    }

    const unsigned base = conversion == 'o' ? 8 : (conversion == 'x' || conversion == 'X') ? 16 : 10;
    const char* digitSet = conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char digits[24];
    size_t count = 0;
    // A precision of 0 prints nothing for the value 0.
    if (magnitude != 0 || field.precision != 0) {
        char reversed[24];
        do {
            reversed[count++] = digitSet[magnitude % base];
            magnitude /= base;
        } while (magnitude != 0);
        std::reverse_copy(reversed, reversed + count, digits);
    }
    uint64_t leadingZeros = field.precision > static_cast<int64_t>(count) ? field.precision - count : 0;
    // '#' with octal: the text begins with a 0.
    if (conversion == 'o' && field.alternate && leadingZeros == 0 && (count == 0 || digits[0] != '0')) leadingZeros = 1;

    char prefix[3];
    size_t prefixLength = 0;
    if (isSigned) {
        if (negative) {
            prefix[prefixLength++] = '-';
        } else if (field.plus) {
            prefix[prefixLength++] = '+';
        } else if (field.space) {
            prefix[prefixLength++] = ' ';
        }
    }
    if (base == 16 && field.alternate && count > 0 && !(count == 1 && digits[0] == '0')) {
        prefix[prefixLength++] = '0';
        prefix[prefixLength++] = static_cast<char>(conversion);
    }
    // A precision turns zero padding off.
    EmitPadded(out, field, std::string_view(prefix, prefixLength), leadingZeros + count, field.precision < 0, [&] {
        out.Repeat('0', leadingZeros);
        out.PutAscii(std::string_view(digits, count));
    });
}

void FormatPointer(Output& out, const Field& field, XpFormatArguments& arguments)
{
    const auto value = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(arguments.NextPointer()));
    char digits[16];
    for (int i = 0; i < 16; ++i) digits[i] = "0123456789ABCDEF"[(value >> (60 - 4 * i)) & 0xF];
    EmitPadded(out, field, {}, 16, false, [&] { out.PutAscii(std::string_view(digits, 16)); });
}

// ---- texts and characters ----------------------------------------------------------------

constexpr std::string_view kNullText = "(null)";

void FormatWideText(Output& out, const Field& field, const XpChar* text)
{
    if (text == nullptr) {
        const size_t length = std::min<size_t>(kNullText.size(), field.precision < 0 ? SIZE_MAX : field.precision);
        EmitPadded(out, field, {}, length, true, [&] { out.PutAscii(kNullText.substr(0, length)); });
        return;
    }
    // With a precision, no character beyond it is read: the text need not be terminated.
    size_t length = 0;
    if (field.precision < 0) {
        length = std::char_traits<XpChar>::length(text);
    } else {
        while (length < static_cast<uint64_t>(field.precision) && text[length] != 0) ++length;
    }
    EmitPadded(out, field, {}, length, true, [&] { out.Put(text, length); });
}

// Converts a narrow text piece by piece, each piece ending on a character boundary, and hands
// each converted piece to `take`, up to `limit` characters in all. No byte is read beyond the
// terminator, nor beyond the characters that the limit needs: the text need not be terminated
// when the limit ends it.
template <class Take>
void ConvertNarrow(const char* text, uint64_t limit, Take&& take)
{
    constexpr size_t kPiece = 128;
    XpChar wide[2 * kPiece];
    uint64_t produced = 0;
    size_t start = 0;
    bool ended = false;
    while (!ended && produced < limit) {
        // A character converts to one or two, so the first half of what is still wanted
        // is needed for certain.
        const uint64_t wanted = limit - produced;
        const uint64_t maxCharacters = limit == UINT64_MAX ? UINT64_MAX : (wanted + 1) / 2;
        size_t end = start;
        for (uint64_t characters = 0; characters < maxCharacters; ++characters) {
            if (text[end] == 0) {
                ended = true;
                break;
            }
            const auto length = static_cast<size_t>(XpPlatformAnsiCharLength(static_cast<unsigned char>(text[end])));
            if (end + length - start > kPiece && end > start) break;
            size_t taken = 1;  // a terminator inside a character ends the text there
            while (taken < length && text[end + taken] != 0) ++taken;
            end += taken;
        }
        if (end == start) return;
        const int converted =
            XpPlatformAnsiToWide(text + start, static_cast<int>(end - start), wide, static_cast<int>(std::size(wide)));
        size_t count = converted > 0 ? static_cast<size_t>(converted) : 0;
        if (count == 0) {
            // Not expected of the conversion service; a piece it refuses shows as U+FFFD.
            count = end - start;
            std::fill_n(wide, count, kReplacement);
        }
        count = static_cast<size_t>(std::min<uint64_t>(count, wanted));
        take(static_cast<const XpChar*>(wide), count);
        produced += count;
        start = end;
    }
}

void FormatNarrowText(Output& out, const Field& field, const char* text)
{
    if (text == nullptr) {
        FormatWideText(out, field, nullptr);
        return;
    }
    const uint64_t limit = field.precision < 0 ? UINT64_MAX : static_cast<uint64_t>(field.precision);
    uint64_t length = 0;
    ConvertNarrow(text, limit, [&](const XpChar*, size_t count) { length += count; });
    EmitPadded(out, field, {}, length, true,
               [&] { ConvertNarrow(text, limit, [&](const XpChar* piece, size_t count) { out.Put(piece, count); }); });
}

void FormatCharacter(Output& out, const Field& field, bool narrow, XpFormatArguments& arguments)
{
    const int32_t value = arguments.NextInt32();
    XpChar c;
    if (narrow) {
        const char byte = static_cast<char>(value);
        XpChar converted[4];
        c = XpPlatformAnsiToWide(&byte, 1, converted, 4) == 1 ? converted[0] : kReplacement;
    } else {
        c = static_cast<XpChar>(value);
    }
    EmitPadded(out, field, {}, 1, true, [&] { out.Put(c); });
}

// ---- doubles ------------------------------------------------------------------------------

// A formatted number: its digits, a count of zeros that follow them and a tail
// (the exponent): "1.25" + 3 zeros + "e+02".
struct Number {
    char digits[kNumberBuffer];
    size_t digitsLength = 0;
    uint64_t zeros = 0;
    char tail[16];
    size_t tailLength = 0;

    uint64_t Length() const { return digitsLength + zeros + tailLength; }
    bool HasPoint() const { return std::memchr(digits, '.', digitsLength) != nullptr; }
    void AppendPoint() { digits[digitsLength++] = '.'; }
    void SetTail(const char* text, size_t length)
    {
        std::memcpy(tail, text, length);
        tailLength = length;
    }
    // Drops trailing zeros of the fraction, and the point when no fraction remains.
    void TrimFraction()
    {
        zeros = 0;
        if (!HasPoint()) return;
        while (digitsLength > 0 && digits[digitsLength - 1] == '0') --digitsLength;
        if (digitsLength > 0 && digits[digitsLength - 1] == '.') --digitsLength;
    }
};

// The exact decimal value of a finite, non-negative double, as significant digits without
// leading or trailing zeros (none for 0) and the place of the decimal point before the
// first of them: value = 0.d1 d2 d3 ... x 10^point.
struct Decimal {
    char digits[kExactBuffer];
    int64_t count = 0;
    int64_t point = 0;
};

void ExactDecimal(Decimal& decimal, double value)
{
    decimal.count = 0;
    decimal.point = 0;
    if (value == 0) return;
    // value = mantissa x 2^exponent with an odd mantissa has exactly -exponent fractional
    // digits (none when the exponent is not negative): asked for that many, the conversion
    // rounds nothing.
    int exponent = 0;
    auto mantissa = static_cast<uint64_t>(std::ldexp(std::frexp(value, &exponent), 53));
    exponent -= 53;
    exponent += std::countr_zero(mantissa);
    const int fractionDigits = exponent < 0 ? -exponent : 0;
    const auto result =
        std::to_chars(decimal.digits, decimal.digits + kExactBuffer, value, std::chars_format::fixed, fractionDigits);
    const char* end = result.ptr;
    // Digits only, the point's place remembered; leading and trailing zeros dropped.
    int64_t integerDigits = end - decimal.digits;
    bool leading = true;
    int64_t leadingZeros = 0;
    for (const char* p = decimal.digits; p != end; ++p) {
        if (*p == '.') {
            integerDigits = p - decimal.digits;
            continue;
        }
        if (leading && *p == '0') {
            ++leadingZeros;
            continue;
        }
        leading = false;
        decimal.digits[decimal.count++] = *p;
    }
    while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
    decimal.point = integerDigits - leadingZeros;
}

// Keeps the first `keep` significant digits (none when keep <= 0), rounding the magnitude half
// away from zero on the exact digits, as the Windows C run-time does: a dropped part that
// begins with 5 rounds up, also when it is exactly one half (0.25 to one decimal is 0.3).
void RoundDecimal(Decimal& decimal, int64_t keep)
{
    if (keep >= decimal.count) return;
    const bool up = keep >= 0 && decimal.digits[keep] >= '5';
    decimal.count = keep > 0 ? keep : 0;
    if (!up) {
        while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '0') --decimal.count;
        return;
    }
    while (decimal.count > 0 && decimal.digits[decimal.count - 1] == '9') --decimal.count;
    if (decimal.count == 0) {
        // All nines (or nothing kept): the carry makes a new first digit.
        decimal.digits[0] = '1';
        decimal.count = 1;
        ++decimal.point;
    } else {
        ++decimal.digits[decimal.count - 1];
    }
}

char DigitAt(const Decimal& decimal, int64_t index)
{
    return index >= 0 && index < decimal.count ? decimal.digits[index] : '0';
}

void Fixed(Number& number, double value, int64_t precision, bool alternate)
{
    Decimal decimal;
    ExactDecimal(decimal, value);
    RoundDecimal(decimal, decimal.point + precision);
    number.digitsLength = 0;
    if (decimal.point <= 0) {
        number.digits[number.digitsLength++] = '0';
    } else {
        for (int64_t i = 0; i < decimal.point; ++i) number.digits[number.digitsLength++] = DigitAt(decimal, i);
    }
    if (precision > 0 || alternate) number.AppendPoint();
    // Beyond these, the exact value has only zeros: they are counted, not written.
    const int64_t written = std::min<int64_t>(precision, kMaxFixedDigits);
    for (int64_t i = 0; i < written; ++i) number.digits[number.digitsLength++] = DigitAt(decimal, decimal.point + i);
    number.zeros = static_cast<uint64_t>(precision - written);
    number.tailLength = 0;
}

// "d.ddde+XX": the mantissa into digits, the exponent into the tail. Returns the exponent.
int Scientific(Number& number, double value, int64_t precision, bool alternate, bool upper)
{
    Decimal decimal;
    ExactDecimal(decimal, value);
    RoundDecimal(decimal, precision + 1);
    const int exponent = decimal.count == 0 ? 0 : static_cast<int>(decimal.point - 1);
    number.digitsLength = 0;
    number.digits[number.digitsLength++] = DigitAt(decimal, 0);
    if (precision > 0 || alternate) number.AppendPoint();
    const int64_t written = std::min<int64_t>(precision, kMaxScientificDigits);
    for (int64_t i = 1; i <= written; ++i) number.digits[number.digitsLength++] = DigitAt(decimal, i);
    number.zeros = static_cast<uint64_t>(precision - written);
    // At least two exponent digits.
    char tail[8];
    size_t length = 0;
    tail[length++] = upper ? 'E' : 'e';
    tail[length++] = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude < 10) tail[length++] = '0';
    length = static_cast<size_t>(std::to_chars(tail + length, tail + sizeof(tail), magnitude).ptr - tail);
    number.SetTail(tail, length);
    return exponent;
}

void General(Number& number, double value, int64_t precision, bool alternate, bool upper)
{
    const int64_t significant = precision < 0 ? 6 : precision == 0 ? 1 : precision;
    // The style follows the exponent that the scientific form of this precision would have.
    const int exponent = value == 0 ? 0 : Scientific(number, value, significant - 1, false, upper);
    if (exponent < significant && exponent >= -4) {
        Fixed(number, value, significant - 1 - exponent, false);
    } else {
        Scientific(number, value, significant - 1, false, upper);
    }
    if (!alternate) {
        number.TrimFraction();
    } else if (!number.HasPoint()) {
        number.AppendPoint();
    }
}

void Hexadecimal(Number& number, double value, int64_t precision, bool alternate, bool upper)
{
    const int64_t wanted = precision < 0 ? kHexDigits : precision;
    const int digits = static_cast<int>(std::min<int64_t>(wanted, kHexDigits));
    char text[64];
    const auto result = std::to_chars(text, text + sizeof(text), value, std::chars_format::hex, digits);
    const size_t length = static_cast<size_t>(result.ptr - text);
    const char* p = static_cast<const char*>(std::memchr(text, 'p', length));
    const size_t mantissa = p != nullptr ? static_cast<size_t>(p - text) : length;
    std::memcpy(number.digits, text, mantissa);
    number.digitsLength = mantissa;
    number.zeros = static_cast<uint64_t>(wanted - digits);
    if (wanted == 0 && alternate) number.AppendPoint();
    number.SetTail(text + mantissa, length - mantissa);
    if (upper) {
        for (size_t i = 0; i < number.digitsLength; ++i) {
            if (number.digits[i] >= 'a' && number.digits[i] <= 'f') number.digits[i] -= 'a' - 'A';
        }
        if (number.tailLength > 0) number.tail[0] = 'P';
    }
}

// The texts of infinities and NaNs as the Windows C run-time prints them: "inf", "nan",
// "nan(ind)" for the indeterminate NaN (negative, no payload) and "nan(snan)" for a
// signalling one.
std::string_view NonFinite(double value, bool upper)
{
    if (std::isinf(value)) return upper ? "INF" : "inf";
    const uint64_t bits = std::bit_cast<uint64_t>(value);
    const uint64_t payload = bits & 0x000FFFFFFFFFFFFFULL;
    const uint64_t quiet = 0x0008000000000000ULL;
    if ((payload & quiet) == 0) return upper ? "NAN(SNAN)" : "nan(snan)";
    if (std::signbit(value) && payload == quiet) return upper ? "NAN(IND)" : "nan(ind)";
    return upper ? "NAN" : "nan";
}

void FormatDouble(Output& out, const Field& field, XpChar conversion, XpFormatArguments& arguments)
{
    const double value = arguments.NextDouble();
    const bool upper = conversion == 'E' || conversion == 'G' || conversion == 'A' || conversion == 'F';
    char prefix[3];
    size_t prefixLength = 0;
    if (std::signbit(value)) {
        prefix[prefixLength++] = '-';
    } else if (field.plus) {
        prefix[prefixLength++] = '+';
    } else if (field.space) {
        prefix[prefixLength++] = ' ';
    }
    if (!std::isfinite(value)) {
        const std::string_view text = NonFinite(value, upper);
        EmitPadded(out, field, std::string_view(prefix, prefixLength), text.size(), false, [&] { out.PutAscii(text); });
        return;
    }

    Number number;
    const double magnitude = std::fabs(value);
    const int64_t precision = field.precision < 0 ? 6 : field.precision;
    switch (conversion) {
        case 'f':
        case 'F':
            Fixed(number, magnitude, precision, field.alternate);
            break;
        case 'e':
        case 'E':
            Scientific(number, magnitude, precision, field.alternate, upper);
            break;
        case 'g':
        case 'G':
            General(number, magnitude, field.precision, field.alternate, upper);
            break;
        default:
            prefix[prefixLength++] = '0';
            prefix[prefixLength++] = upper ? 'X' : 'x';
            Hexadecimal(number, magnitude, field.precision, field.alternate, upper);
            break;
    }
    EmitPadded(out, field, std::string_view(prefix, prefixLength), number.Length(), true, [&] {
        out.PutAscii(std::string_view(number.digits, number.digitsLength));
        out.Repeat('0', number.zeros);
        out.PutAscii(std::string_view(number.tail, number.tailLength));
    });
}

// ---- the format ---------------------------------------------------------------------------

// Reads the flags, width, precision and size of a conversion; p is just behind the '%' and
// is left on the conversion character.
void ParseField(const XpChar*& p, Field& field, XpFormatArguments& arguments)
{
    for (;; ++p) {
        if (*p == '-') {
            field.left = true;
        } else if (*p == '+') {
            field.plus = true;
        } else if (*p == ' ') {
            field.space = true;
        } else if (*p == '0') {
            field.zero = true;
        } else if (*p == '#') {
            field.alternate = true;
        } else {
            break;
        }
    }
    if (*p == '*') {
        ++p;
        const int64_t width = arguments.NextInt32();
        if (width < 0) field.left = true;
        field.width = std::min<int64_t>(width < 0 ? -width : width, kMaxField);
    } else {
        field.width = ReadNumber(p);
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            ++p;
            const int32_t precision = arguments.NextInt32();
            field.precision = precision < 0 ? -1 : precision;
        } else {
            field.precision = ReadNumber(p);
        }
    }
    for (;;) {
        if (p[0] == 'h' && p[1] == 'h') {
            field.size = Size::Char;
            p += 2;
        } else if (p[0] == 'h') {
            field.size = Size::Short;
            field.narrowMark = true;
            ++p;
        } else if (p[0] == 'l' && p[1] == 'l') {
            field.size = Size::Int64;
            p += 2;
        } else if (p[0] == 'l' || p[0] == 'w') {
            field.size = Size::Long;
            field.wideMark = true;
            ++p;
        } else if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            field.size = Size::Int64;
            p += 3;
        } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
            field.size = Size::Int32;
            p += 3;
        } else if (p[0] == 'I' || p[0] == 'j' || p[0] == 'z' || p[0] == 't' || p[0] == 'L') {
            // Pointer-sized and maximal integers are 64 bits on x86-64; L is 64 bits for
            // integers and ignored for doubles.
            field.size = Size::Int64;
            ++p;
        } else {
            break;
        }
    }
}

}  // namespace

XpFormatVaArguments::XpFormatVaArguments(va_list arguments)
{
    va_copy(m_arguments, arguments);
}

XpFormatVaArguments::~XpFormatVaArguments()
{
    va_end(m_arguments);
}

int32_t XpFormatVaArguments::NextInt32()
{
    return va_arg(m_arguments, int32_t);
}

int64_t XpFormatVaArguments::NextInt64()
{
    return va_arg(m_arguments, int64_t);
}

double XpFormatVaArguments::NextDouble()
{
    return va_arg(m_arguments, double);
}

const void* XpFormatVaArguments::NextPointer()
{
    return va_arg(m_arguments, const void*);
}

const XpChar* XpFormatVaArguments::NextWideText()
{
    return va_arg(m_arguments, const XpChar*);
}

const char* XpFormatVaArguments::NextNarrowText()
{
    return va_arg(m_arguments, const char*);
}

uint64_t XpFormatTo(XpChar* buffer, size_t count, const XpChar* format, XpFormatArguments& arguments)
{
    Output out(buffer, count);
    if (format == nullptr) return out.Finish();
    const XpChar* p = format;
    while (*p != 0) {
        if (*p != '%') {
            const XpChar* run = p;
            while (*p != 0 && *p != '%') ++p;
            out.Put(run, static_cast<size_t>(p - run));
            continue;
        }
        const XpChar* start = p++;
        Field field;
        ParseField(p, field, arguments);
        const XpChar conversion = *p;
        switch (conversion) {
            case 'd':
            case 'i':
            case 'u':
            case 'o':
            case 'x':
            case 'X':
                FormatInteger(out, field, conversion, arguments);
                break;
            case 'p':
                FormatPointer(out, field, arguments);
                break;
            case 'c':
            case 'C': {
                const bool narrow = field.narrowMark || (conversion == 'C' && !field.wideMark);
                FormatCharacter(out, field, narrow, arguments);
                break;
            }
            case 's':
            case 'S':
                if (field.narrowMark || (conversion == 'S' && !field.wideMark)) {
                    FormatNarrowText(out, field, arguments.NextNarrowText());
                } else {
                    FormatWideText(out, field, arguments.NextWideText());
                }
                break;
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                FormatDouble(out, field, conversion, arguments);
                break;
            case '%':
                out.Put('%');
                break;
            default:
                // Unknown, or the format ended inside the conversion: copied as it stands.
                out.Put(start, static_cast<size_t>(p - start) + (conversion != 0 ? 1 : 0));
                if (conversion == 0) return out.Finish();
                break;
        }
        ++p;
    }
    return out.Finish();
}

int XpFormatV(XpChar* buffer, size_t count, const XpChar* format, va_list arguments, uint64_t* needed)
{
    if (needed != nullptr) *needed = 0;
    if (buffer == nullptr || count == 0) return -1;
    if (format == nullptr) {
        buffer[0] = 0;
        return -1;
    }
    XpFormatVaArguments source(arguments);
    const uint64_t length = XpFormatTo(buffer, count, format, source);
    if (needed != nullptr) *needed = length;
    if (length >= count || length > static_cast<uint64_t>(INT_MAX)) return -1;
    return static_cast<int>(length);
}

int XpFormat(XpChar* buffer, size_t count, const XpChar* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int result = XpFormatV(buffer, count, format, arguments);
    va_end(arguments);
    return result;
}
