#include <gtest/gtest.h>

#include <array>
#include <ctime>

#include "TestSupport.h"
#include "platform/PlatformErrors.h"
#include "platform/PlatformTime.h"

namespace {
constexpr uint64_t kSecond = 10000000;
constexpr uint64_t kHour = 3600 * kSecond;
constexpr uint64_t kDay = 24 * kHour;
constexpr uint64_t kUnixEpoch = 116444736000000000ULL;

XpSystemTime Make(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    XpSystemTime t{};
    t.year = static_cast<uint16_t>(year), t.month = static_cast<uint16_t>(month), t.day = static_cast<uint16_t>(day);
    t.hour = static_cast<uint16_t>(hour), t.minute = static_cast<uint16_t>(minute);
    t.second = static_cast<uint16_t>(second), t.milliseconds = static_cast<uint16_t>(ms);
    return t;
}

uint64_t FileTime(const XpSystemTime& t)
{
    uint64_t result = 0;
    EXPECT_EQ(XpPlatformSystemTimeToFileTime(t, &result), 0u) << t.year << '-' << t.month << '-' << t.day;
    return result;
}

// year, month, day, day of week, hour, minute, second, milliseconds
std::array<int, 8> Fields(uint64_t fileTime)
{
    XpSystemTime t{};
    EXPECT_EQ(XpPlatformFileTimeToSystemTime(fileTime, &t), 0u) << fileTime;
    return {t.year, t.month, t.day, t.dayOfWeek, t.hour, t.minute, t.second, t.milliseconds};
}

uint64_t ToLocal(uint64_t utc)
{
    uint64_t local = 0;
    EXPECT_EQ(XpPlatformFileTimeToLocalFileTime(utc, &local), 0u);
    return local;
}

uint64_t ToUtc(uint64_t local)
{
    uint64_t utc = 0;
    EXPECT_EQ(XpPlatformLocalFileTimeToFileTime(local, &utc), 0u);
    return utc;
}
}  // namespace

TEST(PlatformTime, SystemTimeAndFileTime)
{
    EXPECT_EQ(FileTime(Make(1601, 1, 1)), 0u);
    EXPECT_EQ(FileTime(Make(1970, 1, 1, 0, 0, 1, 1)), kUnixEpoch + kSecond + 10000);
    EXPECT_EQ(FileTime(Make(2000, 3, 1)) - FileTime(Make(2000, 2, 28)), 2 * kDay);
    EXPECT_EQ(FileTime(Make(1900, 3, 1)) - FileTime(Make(1900, 2, 28)), kDay);
    EXPECT_EQ(Fields(0), (std::array<int, 8>{1601, 1, 1, 1, 0, 0, 0, 0}));
    EXPECT_EQ(Fields(kUnixEpoch - 1), (std::array<int, 8>{1969, 12, 31, 3, 23, 59, 59, 999}));
    // Milliseconds are kept, smaller ticks dropped; the day of week given is ignored.
    XpSystemTime leapDay = Make(2000, 2, 29, 12, 34, 56, 789);
    leapDay.dayOfWeek = 6;
    EXPECT_EQ(Fields(FileTime(leapDay) + 9999), (std::array<int, 8>{2000, 2, 29, 2, 12, 34, 56, 789}));
    EXPECT_EQ(Fields(FileTime(Make(30827, 12, 31, 23, 59, 59, 999))),
              (std::array<int, 8>{30827, 12, 31, 5, 23, 59, 59, 999}));

    // Round trips across the whole range, the weekday following the day count.
    for (uint64_t fileTime = 12345678; fileTime < FileTime(Make(30827, 12, 31)); fileTime += 997 * kDay + 3 * kHour) {
        XpSystemTime t{};
        ASSERT_EQ(XpPlatformFileTimeToSystemTime(fileTime, &t), 0u);
        ASSERT_EQ(t.dayOfWeek, (fileTime / kDay + 1) % 7) << t.year;  // 1 January 1601 was a Monday
        uint64_t back = 0;
        ASSERT_EQ(XpPlatformSystemTimeToFileTime(t, &back), 0u);
        ASSERT_EQ(back, fileTime - fileTime % 10000) << t.year;
    }

    const XpSystemTime bad[] = {
        Make(1600, 12, 31),
        Make(30828, 1, 1),
        Make(2024, 0, 1),
        Make(2024, 13, 1),
        Make(2024, 1, 0),
        Make(2024, 1, 32),
        Make(2024, 4, 31),
        Make(1900, 2, 29),
        Make(2023, 2, 29),
        Make(2024, 1, 1, 24),
        Make(2024, 1, 1, 0, 60),
        Make(2024, 1, 1, 0, 0, 60),
        Make(2024, 1, 1, 0, 0, 0, 1000),
    };
    for (const XpSystemTime& t : bad) {
        uint64_t fileTime = 77;
        EXPECT_EQ(XpPlatformSystemTimeToFileTime(t, &fileTime), XpWinError::InvalidParameter)
            << t.year << '-' << t.month << '-' << t.day << ' ' << t.hour << ':' << t.minute << ':' << t.second;
        EXPECT_EQ(fileTime, 77u);
    }
    XpSystemTime t{};
    EXPECT_EQ(XpPlatformFileTimeToSystemTime(1ULL << 63, &t), XpWinError::InvalidParameter);
}

TEST(PlatformTime, LocalTimeRoundTripsAndClock)
{
    for (const uint64_t utc : {FileTime(Make(1970, 1, 2)), FileTime(Make(2000, 2, 29, 12, 34, 56, 789)) + 1234,
                               FileTime(Make(2024, 1, 15, 12)), FileTime(Make(2024, 7, 1, 12))}) {
        uint64_t local = 0, back = 0;
        ASSERT_EQ(XpPlatformFileTimeToLocalFileTime(utc, &local), 0u);
        ASSERT_EQ(XpPlatformLocalFileTimeToFileTime(local, &back), 0u);
        EXPECT_EQ(back, utc);
        EXPECT_EQ(local % (60 * kSecond), utc % (60 * kSecond));  // zone offsets are whole minutes
    }

    const int64_t now = XpPlatformTime64();
    EXPECT_GE(now, 1704067200);  // 2024
    std::tm fields{};
    ASSERT_TRUE(XpPlatformLocalTime64(now, &fields));
    EXPECT_GE(fields.tm_year + 1900, 2024);
    // The C run-time's range: nothing before 1970, everything to the end of 3000 (UTC).
    EXPECT_FALSE(XpPlatformLocalTime64(-1, &fields));
    EXPECT_TRUE(XpPlatformLocalTime64(32535215999, &fields));
    EXPECT_FALSE(XpPlatformLocalTime64(40000000000, &fields));
    EXPECT_FALSE(XpPlatformLocalTime64(now, nullptr));
}

TEST(PlatformTime, ShiftsStayWithinTheFileTimesEastOfUtc)
{
    const kestrow_test::ZoneEastOfUtc zone;
    if (!zone.Active()) GTEST_SKIP() << "needs a process started with TZ=JST-9 (ctest: zone_east_of_utc)";
    constexpr uint64_t kLimit = 1ULL << 63;
    constexpr uint64_t kNineHours = 9 * kHour;

    EXPECT_EQ(ToLocal(FileTime(Make(2024, 7, 1, 12))), FileTime(Make(2024, 7, 1, 21)));
    EXPECT_EQ(ToUtc(FileTime(Make(2024, 7, 1, 21))), FileTime(Make(2024, 7, 1, 12)));

    // The first nine local hours of 1601 have no UTC file time, and the last nine hours
    // below 2^63 no local one; neither end wraps around.
    EXPECT_EQ(ToUtc(kNineHours), 0u);
    EXPECT_EQ(ToLocal(kLimit - kNineHours - 1), kLimit - 1);
    uint64_t result = 5;
    for (const uint64_t local : {uint64_t{0}, kHour / 2, kNineHours - 1, kLimit, ~uint64_t{0}})
        EXPECT_EQ(XpPlatformLocalFileTimeToFileTime(local, &result), XpWinError::InvalidParameter) << local;
    for (const uint64_t utc : {kLimit - kNineHours, kLimit - 1, kLimit, ~uint64_t{0}})
        EXPECT_EQ(XpPlatformFileTimeToLocalFileTime(utc, &result), XpWinError::InvalidParameter) << utc;
    EXPECT_EQ(result, 5u);
}

#ifndef _WIN32
// Linux applies the rules in force at each instant (Windows applies today's bias to
// every instant), so these hold on Linux only.
TEST(PlatformTime, LocalTimeFollowsTheZoneRulesOfEachInstant)
{
    {
        // UTC+1; UTC+2 from the last Sunday of March 02:00 to the last Sunday of October 03:00.
        const kestrow_test::ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(ToLocal(FileTime(Make(2024, 1, 15, 12))), FileTime(Make(2024, 1, 15, 13)));
        EXPECT_EQ(ToLocal(FileTime(Make(2024, 7, 1, 12))), FileTime(Make(2024, 7, 1, 14)));
        EXPECT_EQ(ToUtc(FileTime(Make(2024, 7, 1, 14))), FileTime(Make(2024, 7, 1, 12)));

        // 01:00 UTC on 31 March 2024 skips local 02:00 to 03:00; a skipped time is read
        // with the offset before the change, landing as far after it.
        const uint64_t spring = FileTime(Make(2024, 3, 31, 1));
        EXPECT_EQ(ToLocal(spring - 1), FileTime(Make(2024, 3, 31, 2)) - 1);
        EXPECT_EQ(ToLocal(spring), FileTime(Make(2024, 3, 31, 3)));
        EXPECT_EQ(ToUtc(FileTime(Make(2024, 3, 31, 1, 59, 59, 999))), spring - 10000);
        EXPECT_EQ(ToUtc(FileTime(Make(2024, 3, 31, 2))), spring);
        EXPECT_EQ(ToUtc(FileTime(Make(2024, 3, 31, 2, 30))), spring + kHour / 2);
        EXPECT_EQ(ToUtc(FileTime(Make(2024, 3, 31, 3))), spring);

        // 01:00 UTC on 27 October 2024 repeats local 02:00 to 03:00; the earlier reading wins.
        const uint64_t autumn = FileTime(Make(2024, 10, 27, 1));
        EXPECT_EQ(ToLocal(autumn - kHour / 2), FileTime(Make(2024, 10, 27, 2, 30)));
        EXPECT_EQ(ToLocal(autumn + kHour / 2), FileTime(Make(2024, 10, 27, 2, 30)));
        EXPECT_EQ(ToUtc(FileTime(Make(2024, 10, 27, 2, 30))), autumn - kHour / 2);
        EXPECT_EQ(ToUtc(FileTime(Make(2024, 10, 27, 3))), autumn + kHour);

        // Results outside the range of file times are refused, not wrapped.
        uint64_t result = 5;
        EXPECT_EQ(XpPlatformLocalFileTimeToFileTime(0, &result), XpWinError::InvalidParameter);
        EXPECT_EQ(XpPlatformLocalFileTimeToFileTime(1ULL << 63, &result), XpWinError::InvalidParameter);
        EXPECT_EQ(XpPlatformFileTimeToLocalFileTime((1ULL << 63) - 1, &result), XpWinError::InvalidParameter);
        EXPECT_EQ(result, 5u);
        EXPECT_EQ(ToLocal(0), kHour);
    }
    const kestrow_test::ScopedTimeZone zone("EST5EDT,M3.2.0,M11.1.0");
    uint64_t result = 0;
    EXPECT_EQ(XpPlatformFileTimeToLocalFileTime(0, &result), XpWinError::InvalidParameter);
    EXPECT_EQ(ToLocal(FileTime(Make(2024, 7, 4, 16))), FileTime(Make(2024, 7, 4, 12)));
    std::tm fields{};
    ASSERT_TRUE(XpPlatformLocalTime64(0, &fields));
    EXPECT_EQ(fields.tm_year, 69);
    EXPECT_EQ(fields.tm_hour, 19);
}
#endif
