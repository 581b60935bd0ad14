#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <climits>
#include <ctime>
#include <limits>

#include "TestSupport.h"
#include "foundation/time/XpDateTime.h"
#include "platform/PlatformTime.h"

namespace {
// year, month, day, hour, minute, second, day of week; all -1 when GetFields fails.
using Fields = std::array<int, 7>;

Fields Read(const XpDateTime& v)
{
    Fields f;
    if (!v.GetFields(&f[0], &f[1], &f[2], &f[3], &f[4], &f[5], &f[6])) f.fill(-1);
    return f;
}

Fields Raw(double value)
{
    return Read(XpDateTime::FromOleDate(value));
}

constexpr Fields kRejected = {-1, -1, -1, -1, -1, -1, -1};

}  // namespace

TEST(XpDateTime, PublishedValuesAndRange)
{
    EXPECT_EQ(XpDateTime(1899, 12, 30, 0, 0, 0).GetValue(), 0.0);
    EXPECT_EQ(XpDateTime(1899, 12, 31, 12, 0, 0).GetValue(), 1.5);
    EXPECT_EQ(XpDateTime(1899, 12, 29, 6, 0, 0).GetValue(), -1.25);
    EXPECT_EQ(Raw(-1.25), (Fields{1899, 12, 29, 6, 0, 0, 5}));
    EXPECT_EQ(Raw(-0.75), (Fields{1899, 12, 30, 18, 0, 0, 6}));  // the fraction runs forward

    const XpDateTime first(100, 1, 1, 0, 0, 0), last(9999, 12, 31, 23, 59, 59);
    EXPECT_TRUE(first.IsValid());
    EXPECT_EQ(first.GetValue(), -657434.0);
    EXPECT_EQ(Read(first), (Fields{100, 1, 1, 0, 0, 0, 5}));
    EXPECT_TRUE(last.IsValid());
    EXPECT_NEAR(last.GetValue(), 2958465.999988426, 1e-9);
    EXPECT_EQ(Read(last), (Fields{9999, 12, 31, 23, 59, 59, 5}));
    // One second later is rejected, and so is 23:59:59.6, which would round into the
    // year 10000 (rejected, not clamped).
    EXPECT_EQ(Raw(last.GetValue() + 1.0 / 86400.0), kRejected);
    EXPECT_EQ(Raw(2958465.0 + 86399.6 / 86400.0), kRejected);

    // The times of day of 1 January 100 encode below -657434.0 yet read back; the day
    // before does not.
    const XpDateTime morning(100, 1, 1, 6, 0, 0);
    EXPECT_EQ(morning.GetValue(), -657434.25);
    EXPECT_EQ(Read(morning), (Fields{100, 1, 1, 6, 0, 0, 5}));
    EXPECT_EQ(Raw(-657435.0), kRejected);
    for (const double junk : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), 1e300, -1e300})
        EXPECT_EQ(Raw(junk), kRejected) << junk;
    EXPECT_EQ(Read(XpDateTime()), kRejected);
}

TEST(XpDateTime, FieldLimits)
{
    struct Case {
        int year, month, day, hour, minute, second;
        bool valid;
    };
    const Case cases[] = {
        {99, 12, 31, 23, 59, 59, false}, {100, 1, 1, 0, 0, 0, true},         {10000, 1, 1, 0, 0, 0, false},
        {INT_MIN, 1, 1, 0, 0, 0, false}, {INT_MAX, 1, 1, 0, 0, 0, false},    {2024, 0, 1, 0, 0, 0, false},
        {2024, 13, 1, 0, 0, 0, false},   {2024, INT_MAX, 1, 0, 0, 0, false}, {2024, 1, 0, 0, 0, 0, false},
        {2024, 1, 31, 0, 0, 0, true},    {2024, 1, 32, 0, 0, 0, false},      {2024, 4, 31, 0, 0, 0, false},
        {1900, 2, 29, 0, 0, 0, false},   {2000, 2, 29, 0, 0, 0, true},       {2023, 2, 29, 0, 0, 0, false},
        {2024, 2, 30, 0, 0, 0, false},   {2024, 1, 1, 24, 0, 0, false},      {2024, 1, 1, -1, 0, 0, false},
        {2024, 1, 1, 0, 60, 0, false},   {2024, 1, 1, 0, 0, 60, false},      {2024, 1, 1, 0, 0, -1, false},
    };
    for (const Case& c : cases) {
        XpDateTime value(2020, 5, 5, 5, 5, 5);
        // A rejected set leaves the value invalid, however valid it was before.
        EXPECT_EQ(value.SetDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second), c.valid)
            << c.year << '-' << c.month << '-' << c.day << ' ' << c.hour << ':' << c.minute << ':' << c.second;
        EXPECT_EQ(value.IsValid(), c.valid);
        EXPECT_EQ(Read(value) != kRejected, c.valid);
    }
    int year = 0;  // out arguments may be null
    EXPECT_TRUE(
        XpDateTime(2024, 2, 29, 1, 2, 3).GetFields(&year, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(year, 2024);

    std::tm record{};
    record.tm_year = 124, record.tm_mon = 1, record.tm_mday = 29;
    record.tm_hour = 13, record.tm_min = 14, record.tm_sec = 15;
    EXPECT_EQ(Read(XpDateTime(record)), (Fields{2024, 2, 29, 13, 14, 15, 4}));
    for (const auto& [field, bad] : {std::pair{&std::tm::tm_year, -1801}, std::pair{&std::tm::tm_year, INT_MAX},
                                     std::pair{&std::tm::tm_mon, INT_MAX}, std::pair{&std::tm::tm_sec, 60}}) {
        std::tm broken = record;
        broken.*field = bad;
        EXPECT_FALSE(XpDateTime(broken).IsValid()) << bad;
    }
}

TEST(XpDateTime, EveryDayBothWays)
{
    static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    static constexpr int kSecondsOfDay[] = {1, 6 * 3600 + 30 * 60 + 15, 12 * 3600, 86399};
    int year = 100, month = 1, day = 1, dayOfWeek = 5;  // 1 January 100 was a Friday
    long long dayNumber = -657434, failures = 0, firstFailure = 0;
    for (;;) {
        // Every day at midnight; once a year, on a day that moves through the year, a few
        // times of day as well.
        XpDateTime value;
        int y, m, d, h, mi, s, w;
        if (!value.SetDateTime(year, month, day, 0, 0, 0) || value.GetValue() != static_cast<double>(dayNumber) ||
            !value.GetFields(&y, &m, &d, &h, &mi, &s, &w) || y != year || m != month || d != day || h != 0 || mi != 0 ||
            s != 0 || w != dayOfWeek) {
            if (failures++ == 0) firstFailure = dayNumber;
        }
        if (day == 1 + year % 28 && month == 1 + year % 12) {
            for (const int t : kSecondsOfDay) {
                value.SetDateTime(year, month, day, t / 3600, t / 60 % 60, t % 60);
                const double expected = dayNumber >= 0 ? dayNumber + t / 86400.0 : dayNumber - t / 86400.0;
                if (value.GetValue() != expected ||
                    Read(value) != Fields{year, month, day, t / 3600, t / 60 % 60, t % 60, dayOfWeek}) {
                    if (failures++ == 0) firstFailure = dayNumber;
                }
            }
        }
        if (year == 9999 && month == 12 && day == 31) break;
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        if (day < kLengths[month - 1] + (month == 2 && leap ? 1 : 0))
            ++day;
        else if (day = 1, month < 12)
            ++month;
        else
            month = 1, ++year;
        dayOfWeek = dayOfWeek == 6 ? 0 : dayOfWeek + 1;
        ++dayNumber;
    }
    EXPECT_EQ(failures, 0) << "first at day " << firstFailure;
    EXPECT_EQ(dayNumber, 2958465);
}

TEST(XpDateTime, HalfSecondBeforeMidnightReadsAsTheNextDay)
{
    const double almost = 86399.6 / 86400.0;
    EXPECT_EQ(Raw(36525.0 + almost), (Fields{2000, 1, 1, 0, 0, 0, 6}));
    EXPECT_EQ(Raw(36525.0 + 86399.4 / 86400.0), (Fields{1999, 12, 31, 23, 59, 59, 5}));
    EXPECT_EQ(Raw(XpDateTime(2000, 2, 29, 0, 0, 0).GetValue() + almost), (Fields{2000, 3, 1, 0, 0, 0, 3}));
    // Negative values: 23:59:59.6 on 29 December 1899 reads as the 30th, neither the
    // start of the 29th nor of the 28th.
    EXPECT_EQ(Raw(-1.0 - almost), (Fields{1899, 12, 30, 0, 0, 0, 6}));
    EXPECT_EQ(Raw(-almost), (Fields{1899, 12, 31, 0, 0, 0, 0}));
    EXPECT_EQ(Raw(-657434.0 - almost), (Fields{100, 1, 2, 0, 0, 0, 6}));
    // Within the day, the nearest second.
    EXPECT_EQ(Raw(0.5 + 0.6 / 86400.0), (Fields{1899, 12, 30, 12, 0, 1, 6}));
    EXPECT_EQ(Raw(-1.5 - 0.4 / 86400.0), (Fields{1899, 12, 29, 12, 0, 0, 5}));
}

TEST(XpDateTime, NowIsACurrentLocalTime)
{
    // Two sources that share nothing with the clock and zone chain of Now: the system's
    // own local clock (GetLocalTime; on Linux the real-time clock read through
    // localtime_r), and the standard library's UTC clock for the way back to UTC.
    XpSystemTime before{}, after{};
    XpPlatformGetLocalTime(&before);
    const XpDateTime now = XpDateTime::Now();
    const auto utcNow = std::chrono::system_clock::now();
    XpPlatformGetLocalTime(&after);

    ASSERT_TRUE(now.IsValid());
    const XpDateTime earliest(before.year, before.month, before.day, before.hour, before.minute, before.second);
    const XpDateTime latest(after.year, after.month, after.day, after.hour, after.minute, after.second);
    ASSERT_TRUE(earliest.IsValid() && latest.IsValid());
    constexpr double kSecond = 1.0 / 86400.0;
    EXPECT_GE(now.GetValue(), earliest.GetValue() - kSecond);
    EXPECT_LE(now.GetValue(), latest.GetValue() + kSecond);

    // 1 January 1970 is 11644473600 seconds after 1 January 1601, where file times start.
    const int64_t unixSeconds = std::chrono::duration_cast<std::chrono::seconds>(utcNow.time_since_epoch()).count();
    const int64_t fileSeconds = static_cast<int64_t>(now.ToFileTime() / 10000000);
    EXPECT_NEAR(static_cast<double>(fileSeconds - 11644473600LL), static_cast<double>(unixSeconds), 2.0);
}

TEST(XpDateTime, ToFileTimeAndBackThroughThePlatform)
{
#ifndef _WIN32
    // A fixed zone with daylight saving time: UTC+1, and UTC+2 from the last Sunday of
    // March 02:00 to the last Sunday of October 03:00.
    const kestrow_test::ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
#endif
    const Fields dates[] = {
        {1601, 1, 2, 0, 0, 0, 2},     {1899, 12, 30, 0, 0, 0, 6}, {1970, 1, 1, 0, 0, 0, 4},
        {2000, 2, 29, 23, 59, 59, 2}, {2024, 1, 15, 12, 0, 0, 1}, {2024, 7, 1, 12, 0, 0, 1},
        {2024, 10, 27, 1, 59, 59, 0}, {2038, 1, 19, 3, 14, 8, 2}, {9999, 12, 31, 23, 59, 59, 5},
    };
    for (const Fields& d : dates) {
        uint64_t fileTime = 0, local = 0;
        XpSystemTime b{};
        ASSERT_TRUE(XpDateTime(d[0], d[1], d[2], d[3], d[4], d[5]).ToFileTime(&fileTime)) << d[0];
        ASSERT_EQ(XpPlatformFileTimeToLocalFileTime(fileTime, &local), 0u);
        ASSERT_EQ(XpPlatformFileTimeToSystemTime(local, &b), 0u);
        EXPECT_EQ((Fields{b.year, b.month, b.day, b.hour, b.minute, b.second, b.dayOfWeek}), d);
        EXPECT_EQ(b.milliseconds, 0);
    }
    // Invalid values, values before 1601 and a null out give false and 0.
    uint64_t fileTime = 12345;
    EXPECT_FALSE(XpDateTime().ToFileTime(&fileTime));
    EXPECT_EQ(fileTime, 0u);
    EXPECT_EQ(XpDateTime(1600, 12, 31, 12, 0, 0).ToFileTime(), 0u);
    EXPECT_EQ(XpDateTime::FromOleDate(3e6).ToFileTime(), 0u);
    EXPECT_FALSE(XpDateTime(2024, 1, 1, 0, 0, 0).ToFileTime(nullptr));

#ifndef _WIN32
    // Local time becomes UTC with the offset in force on that day.
    XpSystemTime utc{};
    ASSERT_EQ(XpPlatformFileTimeToSystemTime(XpDateTime(2024, 7, 1, 12, 0, 0).ToFileTime(), &utc), 0u);
    EXPECT_EQ(utc.hour, 10);
    ASSERT_EQ(XpPlatformFileTimeToSystemTime(XpDateTime(2024, 1, 15, 12, 0, 0).ToFileTime(), &utc), 0u);
    EXPECT_EQ(utc.hour, 11);
#endif
}

TEST(XpDateTime, ToFileTimeEastOfUtc)
{
    const kestrow_test::ZoneEastOfUtc zone;
    if (!zone.Active()) GTEST_SKIP() << "needs a process started with TZ=JST-9 (ctest: zone_east_of_utc)";
    constexpr uint64_t kSecond = 10000000;

    // Nine hours east, local times before 09:00 on 1 January 1601 lie before the first
    // file time: refused, never wrapped around.
    for (const int hour : {0, 8}) {
        uint64_t fileTime = 12345;
        EXPECT_FALSE(XpDateTime(1601, 1, 1, hour, 30, 0).ToFileTime(&fileTime)) << hour;
        EXPECT_EQ(fileTime, 0u);
    }
    uint64_t fileTime = 12345;
    EXPECT_FALSE(XpDateTime(1601, 1, 1, 8, 59, 59).ToFileTime(&fileTime));
    EXPECT_TRUE(XpDateTime(1601, 1, 1, 9, 0, 0).ToFileTime(&fileTime));
    EXPECT_EQ(fileTime, 0u);
    EXPECT_EQ(XpDateTime(1601, 1, 1, 9, 0, 1).ToFileTime(), kSecond);
    EXPECT_EQ(XpDateTime(1601, 1, 2, 0, 0, 0).ToFileTime(), 15 * 3600 * kSecond);

    XpSystemTime utc{};
    ASSERT_EQ(XpPlatformFileTimeToSystemTime(XpDateTime(2024, 7, 1, 12, 0, 0).ToFileTime(), &utc), 0u);
    EXPECT_EQ((Fields{utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second, utc.dayOfWeek}),
              (Fields{2024, 7, 1, 3, 0, 0, 1}));
    ASSERT_EQ(XpPlatformFileTimeToSystemTime(XpDateTime(2024, 3, 1, 5, 0, 0).ToFileTime(), &utc), 0u);
    EXPECT_EQ((Fields{utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second, utc.dayOfWeek}),
              (Fields{2024, 2, 29, 20, 0, 0, 4}));
}
