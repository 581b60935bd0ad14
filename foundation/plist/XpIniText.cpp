#include "foundation/plist/XpIniText.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace {

bool IsSpace(XpChar c)
{
    return c == XP_T(' ') || (c >= XP_T('\t') && c <= XP_T('\r'));
}

bool IsDigit(XpChar c)
{
    return c >= XP_T('0') && c <= XP_T('9');
}

// Leading white space and a sign; true for a minus.
bool SkipSpaceAndSign(const XpChar*& p)
{
    while (IsSpace(*p)) ++p;
    const bool negative = *p == XP_T('-');
    if (*p == XP_T('-') || *p == XP_T('+')) ++p;
    return negative;
}

template <class T>
T ReadInteger(const XpChar* text)
{
    const XpChar* p = text;
    const bool negative = SkipSpaceAndSign(p);
    // Accumulated as a negative number, whose range is one larger.
    T value = 0;
    bool overflow = false;
    for (; IsDigit(*p); ++p) {
        const T digit = static_cast<T>(*p - XP_T('0'));
        if (value < (std::numeric_limits<T>::min() + digit) / 10) {
            overflow = true;
            continue;
        }
        value = static_cast<T>(value * 10 - digit);
    }
    if (overflow) return negative ? std::numeric_limits<T>::min() : std::numeric_limits<T>::max();
    if (negative) return value;
    return value == std::numeric_limits<T>::min() ? std::numeric_limits<T>::max() : static_cast<T>(-value);
}

}  // namespace

int64_t XpIniReadInt64(const XpChar* text)
{
    return ReadInteger<int64_t>(text);
}

int32_t XpIniReadInt32(const XpChar* text)
{
    return ReadInteger<int32_t>(text);
}

XpChar XpIniDecimalPoint()
{
    const std::lconv* conventions = std::localeconv();
    const char* point = conventions ? conventions->decimal_point : nullptr;
    if (point && point[0] != 0 && point[1] == 0) return static_cast<XpChar>(static_cast<unsigned char>(point[0]));
    return XP_T('.');
}

double XpIniReadReal(const XpChar* text, XpChar decimalPoint)
{
    const XpChar* p = text;
    std::string number;
    if (SkipSpaceAndSign(p)) number += '-';
    bool anyDigit = false;
    long long leadingDigits = 0;  // digits before the point, without leading zeros
    for (; IsDigit(*p); ++p) {
        anyDigit = true;
        if (*p != XP_T('0') || leadingDigits > 0) ++leadingDigits;
        number += static_cast<char>(*p);
    }
    if (*p == decimalPoint) {
        ++p;
        number += '.';
        for (; IsDigit(*p); ++p) {
            anyDigit = true;
            number += static_cast<char>(*p);
        }
    }
    if (!anyDigit) return 0.0;
    long long exponent = 0;
    if (*p == XP_T('e') || *p == XP_T('E') || *p == XP_T('d') || *p == XP_T('D')) {
        const XpChar* q = p + 1;
        bool minus = false;
        if (*q == XP_T('-') || *q == XP_T('+')) minus = *q++ == XP_T('-');
        if (IsDigit(*q)) {
            for (; IsDigit(*q); ++q) exponent = exponent < 100000 ? exponent * 10 + (*q - XP_T('0')) : exponent;
            if (minus) exponent = -exponent;
            number += 'e';
            number += std::to_string(exponent);
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        const bool negative = number[0] == '-';
        const bool huge = leadingDigits + exponent > 0;
        value = huge ? std::numeric_limits<double>::infinity() : 0.0;
        if (negative) value = -value;
    }
    return value;
}

double XpIniReadRealText(const XpChar* text)
{
    const XpChar point = XpIniDecimalPoint();
    std::basic_string<XpChar> copy(text);
    const size_t first = copy.find_first_of(XP_T(",."));
    if (first != copy.npos) copy[first] = point;
    return XpIniReadReal(copy.c_str(), point);
}

bool XpIniReadDateFields(const XpChar* text, int fields[6])
{
    const XpChar* p = text;
    bool fits = true;
    for (int i = 0; i < 6; ++i) {
        long long value = 0;
        for (; IsDigit(*p); ++p) {
            value = value * 10 + (*p - XP_T('0'));
            if (value > std::numeric_limits<int32_t>::max()) {
                fits = false;
                value = std::numeric_limits<int32_t>::max();
            }
        }
        fields[i] = static_cast<int>(value);
        if (*p != 0) ++p;  // the one separator
    }
    return fits;
}

unsigned XpIniHexValue(XpChar c)
{
    const unsigned low = static_cast<unsigned>(c) & 0xFF;
    if (low >= '0' && low <= '9') return low - '0';
    if (low >= 'A' && low <= 'F') return low - 'A' + 10;
    if (low >= 'a' && low <= 'f') return low - 'a' + 10;
    return low;
}
