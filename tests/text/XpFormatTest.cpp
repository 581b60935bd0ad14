#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "foundation/text/XpFormat.h"

namespace {

// Formats into a roomy buffer and gives the text as ASCII for readable failures; a
// character outside ASCII shows as '#'.
std::string F(const XpChar* format, ...)
{
    XpChar buffer[2048];
    va_list arguments;
    va_start(arguments, format);
    const int written = XpFormatV(buffer, std::size(buffer), format, arguments);
    va_end(arguments);
    EXPECT_GE(written, 0);
    std::string out;
    for (int i = 0; i < written; ++i) out += buffer[i] < 0x80 ? static_cast<char>(buffer[i]) : '#';
    return out;
}

// XpFormatV with the whole length reported.
int Measured(XpChar* buffer, size_t count, uint64_t* needed, const XpChar* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int written = XpFormatV(buffer, count, format, arguments, needed);
    va_end(arguments);
    return written;
}

}  // namespace

TEST(XpFormat, IntegersTakeTheirWindowsSizes)
{
    EXPECT_EQ(F(XP_T("%d|%i|%u"), -5, 42, -1), "-5|42|4294967295");
    EXPECT_EQ(F(XP_T("%x|%X|%o"), 255, 255, 8), "ff|FF|10");
    EXPECT_EQ(F(XP_T("%ld|%lu|%lx"), -1, -1, -1), "-1|4294967295|ffffffff");
    EXPECT_EQ(F(XP_T("%I64d|%I64u|%I64x"), INT64_MIN, UINT64_MAX, int64_t{0x123456789A}),
              "-9223372036854775808|18446744073709551615|123456789a");
    EXPECT_EQ(F(XP_T("%lld|%llu|%llX"), int64_t{-3}, uint64_t{1} << 40, int64_t{-1}),
              "-3|1099511627776|FFFFFFFFFFFFFFFF");
    EXPECT_EQ(F(XP_T("%hd|%hu|%hhd|%I32d"), 70000, -1, 200, -7), "4464|65535|-56|-7");
    // A 64-bit argument must not disturb the ones behind it.
    EXPECT_EQ(F(XP_T("%I64d %d %s"), int64_t{1} << 33, 7, XP_T("end")), "8589934592 7 end");
}

TEST(XpFormat, IntegerFlagsWidthsAndPrecisions)
{
    EXPECT_EQ(F(XP_T("[%5d][%-5d][%05d][%+d][% d][%+ d]"), 42, 42, -42, 5, 5, 5), "[   42][42   ][-0042][+5][ 5][+5]");
    EXPECT_EQ(F(XP_T("[%.3d][%8.3d][%08.3d][%.0d][%+u]"), 7, 7, 7, 0, 5), "[007][     007][     007][][5]");
    EXPECT_EQ(F(XP_T("[%#x][%#X][%#x][%#o][%#o][%#06x]"), 255, 255, 0, 8, 0, 10), "[0xff][0XFF][0][010][0][0x000a]");
    EXPECT_EQ(F(XP_T("[%*d][%*d][%.*d][%.*d][%-*.*d]"), 6, 42, -6, 42, 4, 7, -1, 7, 5, 2, 3),
              "[    42][42    ][0007][7][03   ]");
}

TEST(XpFormat, TextsCharactersAndPointers)
{
    EXPECT_EQ(F(XP_T("%s|%ls|%ws|%S|%hs"), XP_T("wide"), XP_T("l"), XP_T("w"), "narrow", "h"), "wide|l|w|narrow|h");
    EXPECT_EQ(F(XP_T("[%5s][%-5s][%.2s][%5.1S]"), XP_T("abc"), XP_T("abc"), XP_T("abc"), "xyz"),
              "[  abc][abc  ][ab][    x]");
    EXPECT_EQ(F(XP_T("%s|%S|%.3s"), static_cast<const XpChar*>(nullptr), static_cast<const char*>(nullptr),
                static_cast<const XpChar*>(nullptr)),
              "(null)|(null)|(nu");
    EXPECT_EQ(F(XP_T("%c|%C|%hc|%lc|[%3c][%-3c]"), 'A', 'B', 'C', 'D', 'e', 'f'), "A|B|C|D|[  e][f  ]");
    EXPECT_EQ(F(XP_T("%c"), 0x4E2D), "#");

    // A precision bounds what is read: the texts here have no terminator.
    const XpChar wide[3] = {'a', 'b', 'c'};
    const char narrow[3] = {'x', 'y', 'z'};
    EXPECT_EQ(F(XP_T("%.2s|%.3S"), wide, narrow), "ab|xyz");

    // Narrow texts longer than one conversion piece come out whole.
    const std::string longNarrow(700, 'n');
    EXPECT_EQ(F(XP_T("%S"), longNarrow.c_str()), longNarrow);
    EXPECT_EQ(F(XP_T("%.650S"), longNarrow.c_str()), longNarrow.substr(0, 650));

    const void* pointer = reinterpret_cast<const void*>(uintptr_t{0x1234ABCD});
    EXPECT_EQ(F(XP_T("%p|[%20p]|[%-18p]"), pointer, pointer, static_cast<const void*>(nullptr)),
              "000000001234ABCD|[    000000001234ABCD]|[0000000000000000  ]");
}

TEST(XpFormat, DoublesFixedAndScientific)
{
    EXPECT_EQ(F(XP_T("%f|%.2f|%.0f|%.0f|%.0f"), 3.14159, 2.345, 0.5, 1.5, 2.5), "3.141590|2.35|1|2|3");
    EXPECT_EQ(F(XP_T("[%10.3f][%-10.1f][%010.2f][%+.1f][% .1f]"), -3.14159, 2.0, -3.14159, 2.0, 2.0),
              "[    -3.142][2.0       ][-000003.14][+2.0][ 2.0]");
    EXPECT_EQ(F(XP_T("%f|%f|%.20f"), -0.0, 1e20, 0.1), "-0.000000|100000000000000000000.000000|0.10000000000000000555");
    EXPECT_EQ(F(XP_T("%e|%E|%.0e|%#.0e|%#.0f"), 12345.678, 12345.678, 5.0, 5.0, 3.0),
              "1.234568e+04|1.234568E+04|5e+00|5.e+00|3.");
    EXPECT_EQ(F(XP_T("%e|%.3e"), 1e-300, 0.0), "1.000000e-300|0.000e+00");
    EXPECT_EQ(F(XP_T("%a|%A"), 1.0, -0.5), "0x1.0000000000000p+0|-0X1.0000000000000P-1");
}

TEST(XpFormat, DoublesGeneralAndSpecialValues)
{
    EXPECT_EQ(F(XP_T("%g|%g|%g|%g|%g"), 0.0001, 0.00001, 123456.0, 1234567.0, 100.0),
              "0.0001|1e-05|123456|1.23457e+06|100");
    EXPECT_EQ(F(XP_T("%G|%#g|%.3g|%g|%.0g|%g"), 1e-10, 1.0, 3.14159, 9.9999999, 0.25, 0.0),
              "1E-10|1.00000|3.14|10|0.3|0");
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(F(XP_T("%f|%f|%E|[%6f]|[%-6g]|%+f"), inf, -inf, inf, inf, inf, inf),
              "inf|-inf|INF|[   inf]|[inf   ]|+inf");
    EXPECT_EQ(F(XP_T("%f|%G"), std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN()),
              "nan|-NAN(IND)");
}

TEST(XpFormat, HugePrecisionsAndWidthsCostNoBuffers)
{
    // Digits beyond what a double holds are zeros, produced without formatting them.
    const std::string fixed = F(XP_T("%.1500f"), 1.0);
    EXPECT_EQ(fixed, "1." + std::string(1500, '0'));
    const std::string scientific = F(XP_T("%.1000e"), 2.0);
    EXPECT_EQ(scientific, "2." + std::string(1000, '0') + "e+00");
    EXPECT_EQ(F(XP_T("%.1200f"), 5e-324).size(), 1202u);

    // A width of 2^31 - 1 into a small buffer: truncated at once, length still reported.
    XpChar buffer[16];
    uint64_t needed = 0;
    EXPECT_EQ(XpFormat(buffer, 16, XP_T("%2147483647d"), 1), -1);
    EXPECT_EQ(std::u16string(buffer, buffer + 15), std::u16string(15, u' '));
    EXPECT_EQ(buffer[15], 0);
    EXPECT_EQ(Measured(buffer, 16, &needed, XP_T("%99999999999999s"), XP_T("x")), -1);
    EXPECT_EQ(needed, uint64_t{INT_MAX});
}

TEST(XpFormat, PercentAndUnknownConversions)
{
    EXPECT_EQ(F(XP_T("100%% sure")), "100% sure");
    EXPECT_EQ(F(XP_T("[%k][%5k][%-#q]"), 1), "[%k][%5k][%-#q]");
    // %n writes nothing and takes no argument; the %d still gets the 5.
    EXPECT_EQ(F(XP_T("%n%d"), 5), "%n5");
    EXPECT_EQ(F(XP_T("trailing %")), "trailing %");
    EXPECT_EQ(F(XP_T("trailing %-08.3l")), "trailing %-08.3l");
}

TEST(XpFormat, TruncationContract)
{
    XpChar buffer[8];
    uint64_t needed = 0;
    EXPECT_EQ(Measured(buffer, 8, &needed, XP_T("%d"), 123456789), -1);
    EXPECT_EQ(needed, 9u);
    EXPECT_EQ(XpFormat(buffer, 6, XP_T("%s"), XP_T("hello")), 5);
    EXPECT_EQ(std::u16string(buffer, buffer + 6), std::u16string(u"hello\0", 6));
    EXPECT_EQ(XpFormat(buffer, 5, XP_T("%s"), XP_T("hello")), -1);
    EXPECT_EQ(std::u16string(buffer, buffer + 5), std::u16string(u"hell\0", 5));
    EXPECT_EQ(XpFormat(buffer, 1, XP_T("x")), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(XpFormat(nullptr, 8, XP_T("x")), -1);
    EXPECT_EQ(XpFormat(buffer, 0, XP_T("x")), -1);
    buffer[0] = 'z';
    EXPECT_EQ(Measured(buffer, 8, &needed, nullptr), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(XpFormat(buffer, 8, XP_T("")), 0);
    EXPECT_EQ(buffer[0], 0);
}

namespace {
// A scripted argument source that records what the formatter asked for.
struct Recorder final : XpFormatArguments {
    std::string asked;
    int32_t NextInt32() override
    {
        asked += 'i';
        return static_cast<int32_t>(asked.size());
    }
    int64_t NextInt64() override
    {
        asked += 'l';
        return -1;
    }
    double NextDouble() override
    {
        asked += 'd';
        return 0.5;
    }
    const void* NextPointer() override
    {
        asked += 'p';
        return nullptr;
    }
    const XpChar* NextWideText() override
    {
        asked += 'w';
        return XP_T("W");
    }
    const char* NextNarrowText() override
    {
        asked += 'n';
        return "N";
    }
};
}  // namespace

TEST(XpFormat, AsksTheArgumentSourceOncePerArgument)
{
    const XpChar* format = XP_T("%*.*d %I64d %g %p %s %S %c %C %% %k %hd");
    Recorder recorder;
    XpChar buffer[128];
    const uint64_t length = XpFormatTo(buffer, std::size(buffer), format, recorder);
    EXPECT_EQ(recorder.asked, "iiildpwniii");
    EXPECT_EQ(std::u16string(buffer, buffer + 30), u"03 -1 0.5 0000000000000000 W N");
    Recorder measuring;
    EXPECT_EQ(XpFormatTo(nullptr, 0, format, measuring), length);
}
