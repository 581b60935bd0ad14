// The formatter against the Windows C run-time of the program's era (msvcrt), over the
// format strings that the system uses. Under Windows the run-time itself is the reference;
// on Linux the known texts of the run-time are.

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/text/XpFormat.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using Text = std::basic_string<XpChar>;

Text Ours(const XpChar* format, va_list arguments)
{
    XpChar buffer[2048];
    const int written = XpFormatV(buffer, std::size(buffer), format, arguments);
    return written < 0 ? Text(XP_T("<failed>")) : Text(buffer, static_cast<size_t>(written));
}

std::string Ascii(const Text& text)
{
    std::string out;
    for (const XpChar c : text) out += c < 0x80 ? static_cast<char>(c) : '#';
    return out;
}

std::string F(const XpChar* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const Text text = Ours(format, arguments);
    va_end(arguments);
    return Ascii(text);
}

}  // namespace

// Exact ties round half away from zero, as the run-time does; everything else by the exact
// value of the double (0.15 is a little below 0.15, 0.45 a little above 0.45).
TEST(XpFormatCrt, KnownTextsOfTheRunTime)
{
    // 262144 bytes are 0.25 MB; 786432 bytes 0.75 MB.
    EXPECT_EQ(F(XP_T("%.1f|%.1f|%5.1f"), 262144 / 1048576.0, 786432 / 1048576.0, 262144 / 1048576.0), "0.3|0.8|  0.3");
    EXPECT_EQ(F(XP_T("%3d %%\t(%5.1f / %5.1f %s)"), 5, 262144 / 1048576.0, 10485760 / 1048576.0, XP_T("MB")),
              "  5 %\t(  0.3 /  10.0 MB)");
    EXPECT_EQ(F(XP_T("%.0f|%.0f|%.0f|%.0f|%.1f|%.2f|%.2f"), 0.5, 1.5, 2.5, -2.5, -0.25, 0.125, -0.125),
              "1|2|3|-3|-0.3|0.13|-0.13");
    EXPECT_EQ(F(XP_T("%.1f|%.1f|%.1f|%.1f|%.1f|%.2f|%.3f"), 0.15, 0.35, 0.45, 0.05, 9.95, 2.675, 1.0005),
              "0.1|0.3|0.5|0.1|9.9|2.67|1.000");
    // A carry through nines, and ties at the fifteenth decimal (1/65536 has sixteen).
    EXPECT_EQ(F(XP_T("%.1f|%.15f|%.15f"), 99.95, 1.0 / 65536, 3.0 / 65536),
              "100.0|0.000015258789063|0.000045776367188");
    EXPECT_EQ(F(XP_T("%.0e|%.0g|%.2g"), 2.5, 0.25, 0.125), "3e+00|0.3|0.13");
    EXPECT_EQ(F(XP_T("%.15f|%.15f"), 5e-324, 1e20), "0.000000000000000|100000000000000000000.000000000000000");
}

#if defined(_WIN32)

namespace {

// msvcrt.dll's own _vsnwprintf, looked up by name: neither mingw-w64's C99 printf nor any
// other run-time can stand in for it.
using CrtFormat = int(__cdecl*)(wchar_t*, size_t, const wchar_t*, va_list);

CrtFormat MsvcrtFormat()
{
    HMODULE msvcrt = LoadLibraryW(L"msvcrt.dll");
    return msvcrt ? reinterpret_cast<CrtFormat>(reinterpret_cast<void*>(GetProcAddress(msvcrt, "_vsnwprintf")))
                  : nullptr;
}

struct Comparison {
    CrtFormat crt = MsvcrtFormat();
    int compared = 0;
    int differing = 0;

    void operator()(const wchar_t* format, ...)
    {
        va_list arguments, copy;
        va_start(arguments, format);
        va_copy(copy, arguments);
        wchar_t buffer[2048];
        const int written = crt(buffer, std::size(buffer) - 1, format, copy);
        va_end(copy);
        const Text ours = Ours(format, arguments);
        va_end(arguments);
        ++compared;
        const Text theirs = written < 0 ? Text(L"<failed>") : Text(buffer, static_cast<size_t>(written));
        // The first few differences in full; the count says how many there were.
        if (ours != theirs && ++differing <= 10) {
            ADD_FAILURE() << "format \"" << Ascii(format) << "\": ours \"" << Ascii(ours) << "\", msvcrt \""
                          << Ascii(theirs) << "\"";
        }
    }
};

// A fixed sequence of pseudo-random numbers, the same in every run.
struct Sequence {
    uint64_t state = 0x9E3779B97F4A7C15ULL;
    uint64_t Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
};

std::vector<int32_t> Integers()
{
    std::vector<int32_t> values = {0,   1,    -1,    9,     10,     99,     100,     255,     256,
                                   999, 4095, 65535, 65536, 0x7FFF, -32768, INT_MAX, INT_MIN, 1000000000};
    Sequence random;
    for (int i = 0; i < 300; ++i) {
        const uint64_t r = random.Next();
        values.push_back(static_cast<int32_t>(r >> (r % 32)));
    }
    return values;
}

// Finite doubles of every kind: ties at 1 and 15 decimals, the megabyte values of the
// download display, random bit patterns, and values near powers of ten.
std::vector<double> Doubles()
{
    std::vector<double> values = {0.0,   -0.0, 0.5,  1.5,  2.5,  0.05, 0.15,  0.25,   0.35,    0.45,    0.95,  9.95,
                                  99.95, 1e15, 1e16, 1e17, 1e22, 1e23, 1e300, 1e-300, DBL_MIN, DBL_MAX, 5e-324};
    for (int k = 1; k < 4096; k += 2) values.push_back(k / 65536.0);          // ties at the 15th decimal
    for (int k = 0; k <= 4096; ++k) values.push_back(k * 32768 / 1048576.0);  // whole, .x25, .x5, .x75 MB
    Sequence random;
    for (int i = 0; i < 2000; ++i) {
        uint64_t bits = random.Next();
        if (((bits >> 52) & 0x7FF) == 0x7FF) bits ^= uint64_t{1} << 62;  // no infinity or NaN
        double value;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
        // Sizes of downloads (bytes up to 1 TB) in megabytes, and plain decimals.
        values.push_back(static_cast<double>(random.Next() % (uint64_t{1} << 40)) / 1048576.0);
        values.push_back(static_cast<double>(random.Next() % 2000000) / 1000.0);
    }
    for (int e = -20; e <= 20; ++e) {
        values.push_back(std::pow(10.0, e));
        values.push_back(-std::pow(10.0, e) / 2);
    }
    return values;
}

}  // namespace

TEST(XpFormatCrt, SameTextsAsMsvcrtForTheSystemsFormats)
{
    Comparison compare;
    ASSERT_NE(compare.crt, nullptr);

    const std::vector<int32_t> integers = Integers();
    for (size_t i = 0; i < integers.size(); ++i) {
        const int32_t value = integers[i];
        const int32_t other = integers[(i * 7 + 3) % integers.size()];
        const int32_t third = integers[(i * 13 + 5) % integers.size()];
        compare(L"%u", value);
        compare(L"Error Code = %u", value);
        compare(L"%d", value);
        compare(L"%x", value);
        compare(L"%ld", static_cast<long>(value));
        compare(L"%02x", value & 0xFF);
        compare(L"%02x", value);
        compare(L"%u.%u.%u", value, other, third & 0xFFFF);
        compare(L"Return\t\t= %d\nExitCode\t= 0x%08lx", value, static_cast<unsigned long>(other));
        compare(L"\\StringFileInfo\\%04x%04x\\%s", value & 0xFFFF, other & 0xFFFF, L"FileVersion");
        compare(L"%04ld:%02ld:%02ldT%02ld:%02ld:%02ldZ", static_cast<long>(1601 + (value & 0x1FFF) % 8399),
                static_cast<long>(1 + (other & 0xFF) % 12), static_cast<long>(1 + (third & 0xFF) % 31),
                static_cast<long>((value & 0xFF) % 24), static_cast<long>((other & 0xFFF) % 60),
                static_cast<long>((third & 0xFFF) % 60));
        const int64_t wide = (int64_t{value} << 32) ^ other;
        compare(L"%I64d", wide);
        compare(L"%I64d", int64_t{value});
        compare(L"Memory File(%32p)", reinterpret_cast<void*>(static_cast<uintptr_t>(wide)));
    }
    compare(L"%I64d", INT64_MIN);
    compare(L"%I64d", INT64_MAX);

    const std::vector<double> doubles = Doubles();
    for (size_t i = 0; i < doubles.size(); ++i) {
        const double value = doubles[i];
        compare(L"%.15f", value);
        if (std::fabs(value) < 1e12) {
            compare(L"%.1f", value);
            compare(L"%3d %%\t(%5.1f / %5.1f %s)", static_cast<int>(i % 101), value, doubles[(i * 7) % doubles.size()],
                    L"MB");
        }
    }

    const wchar_t* texts[] = {L"", L"a", L"FileVersion", L"key", L"\u00E9\u4E2D\U0001F600", L" spaces and = signs "};
    for (const wchar_t* text : texts) {
        compare(L"%s", text);
        for (const wchar_t* other : texts) compare(L"%s=%s", text, other);
    }
    const std::wstring longText(1000, L'x');
    compare(L"%s", longText.c_str());
    // Narrow texts: ASCII, and the bytes whose characters the run-time's locale and the
    // Windows-1252 code page agree on.
    std::string narrow;
    for (int c = 1; c < 0x80; ++c) narrow += static_cast<char>(c);
    for (int c = 0xA0; c < 0x100; ++c) narrow += static_cast<char>(c);
    compare(L"%S", narrow.c_str());
    compare(L"%S", "");

    EXPECT_EQ(compare.differing, 0) << "of " << compare.compared << " texts";
}

#endif
