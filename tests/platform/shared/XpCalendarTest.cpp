#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <utility>

#include "platform/shared/XpCalendar.h"

namespace {
constexpr int64_t kSecond = 10000000;  // file-time ticks
constexpr uint64_t kLimit = 1ULL << 63;

struct Date {
    int64_t year;
    int month, day;
    bool operator==(const Date&) const = default;
};

Date FromDays(int64_t days)
{
    Date date{};
    XpCalendar::CivilFromDays(days, &date.year, &date.month, &date.day);
    return date;
}
}  // namespace

TEST(XpCalendar, LeapYearsAndMonths)
{
    for (const int64_t year : {1600, 2000, 2024, 4, 0, -4, -400}) EXPECT_TRUE(XpCalendar::IsLeapYear(year)) << year;
    for (const int64_t year : {1700, 1800, 1900, 2100, 2023, 1, -1, -100})
        EXPECT_FALSE(XpCalendar::IsLeapYear(year)) << year;

    const std::array<int, 12> common = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const std::array<int, 12> before = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    for (int month = 1; month <= 12; ++month) {
        EXPECT_EQ(XpCalendar::MonthLength(2023, month), common[month - 1]) << month;
        EXPECT_EQ(XpCalendar::MonthLength(2024, month), common[month - 1] + (month == 2)) << month;
        EXPECT_EQ(XpCalendar::DaysBeforeMonth(1900, month), before[month - 1]) << month;
        EXPECT_EQ(XpCalendar::DaysBeforeMonth(2000, month), before[month - 1] + (month > 2)) << month;
    }
    for (const int month : {0, 13, -1}) {
        EXPECT_EQ(XpCalendar::MonthLength(2024, month), 0);
        EXPECT_EQ(XpCalendar::DaysBeforeMonth(2024, month), 0);
    }
}

TEST(XpCalendar, DaysAndDatesAgreeWithCountingDayByDay)
{
    // Known days: 1970 itself, 1601 where file times start, the OLE date's day 0, the
    // first day of the era and the first leap day of this century.
    EXPECT_EQ(XpCalendar::DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(XpCalendar::DaysFromCivil(1601, 1, 1), -134774);
    EXPECT_EQ(XpCalendar::DaysFromCivil(1899, 12, 30), -25569);
    EXPECT_EQ(XpCalendar::DaysFromCivil(1, 1, 1), -719162);
    EXPECT_EQ(XpCalendar::DaysFromCivil(2000, 2, 29), 11016);
    EXPECT_EQ(XpCalendar::DayOfWeek(0), 4);        // a Thursday
    EXPECT_EQ(XpCalendar::DayOfWeek(-1), 3);       // a Wednesday
    EXPECT_EQ(XpCalendar::DayOfWeek(-134774), 1);  // 1 January 1601, a Monday
    EXPECT_EQ(XpCalendar::DayOfWeek(19723), 1);    // 1 January 2024, a Monday

    // Walk every day of two whole 400-year cycles, from 1 January of the year -400 on, by
    // the month lengths, and compare both directions with the walk. The cycles repeat, so
    // this covers every case of the arithmetic on either side of the year 0.
    Date date{-400, 1, 1};
    int64_t days = XpCalendar::DaysFromCivil(-400, 1, 1);
    int weekday = XpCalendar::DayOfWeek(days);
    int64_t failures = 0;
    Date firstFailure{};
    while (!(date == Date{401, 1, 1})) {
        if (XpCalendar::DaysFromCivil(date.year, date.month, date.day) != days || FromDays(days) != date ||
            XpCalendar::DayOfWeek(days) != weekday) {
            if (failures++ == 0) firstFailure = date;
        }
        if (date.day < XpCalendar::MonthLength(date.year, date.month)) {
            ++date.day;
        } else {
            date.day = 1;
            if (++date.month > 12) date.month = 1, ++date.year;
        }
        ++days;
        weekday = (weekday + 1) % 7;
    }
    EXPECT_EQ(failures, 0) << "first at " << firstFailure.year << '-' << firstFailure.month << '-' << firstFailure.day;
}

TEST(XpCalendar, HalvesAndUnixTime)
{
    EXPECT_EQ(XpCalendar::JoinHalves(0x89ABCDEFu, 0x01234567u), 0x0123456789ABCDEFull);
    EXPECT_EQ(XpCalendar::LowHalf(0x0123456789ABCDEFull), 0x89ABCDEFu);
    EXPECT_EQ(XpCalendar::HighHalf(0x0123456789ABCDEFull), 0x01234567u);

    constexpr uint64_t kEpoch = 116444736000000000ull;  // 1970 as a file time
    EXPECT_EQ(XpCalendar::FileTimeFromUnix(0, 0), kEpoch);
    EXPECT_EQ(XpCalendar::FileTimeFromUnix(1, 999999999), kEpoch + 2 * kSecond - 1);
    EXPECT_EQ(XpCalendar::FileTimeFromUnix(-11644473600, 0), 0u);

    // Back to seconds rounded down, nanoseconds never negative.
    const struct {
        uint64_t fileTime;
        int64_t seconds;
        int32_t nanoseconds;
    } cases[] = {
        {kEpoch, 0, 0},       {kEpoch + kSecond + 1, 1, 100}, {kEpoch - 1, -1, 999999900}, {kEpoch - kSecond, -1, 0},
        {0, -11644473600, 0},
    };
    for (const auto& c : cases) {
        int64_t seconds = 77;
        int32_t nanoseconds = 77;
        XpCalendar::UnixFromFileTime(c.fileTime, &seconds, &nanoseconds);
        EXPECT_EQ(seconds, c.seconds) << c.fileTime;
        EXPECT_EQ(nanoseconds, c.nanoseconds) << c.fileTime;
    }
}

TEST(XpCalendar, ShiftsNeverLeaveTheFileTimes)
{
    uint64_t result = 5;
    EXPECT_TRUE(XpCalendar::ShiftFileTime(3600 * kSecond, -3600 * kSecond, &result));
    EXPECT_EQ(result, 0u);
    EXPECT_TRUE(XpCalendar::ShiftFileTime(kLimit - 2, 1, &result));
    EXPECT_EQ(result, kLimit - 1);

    result = 5;
    const struct {
        uint64_t fileTime;
        int64_t offset;
    } refused[] = {
        {0, -1},
        {1800 * kSecond, -3600 * kSecond},
        {kLimit - 1, 1},
        {kLimit - 1, INT64_MAX},
        {1, INT64_MIN},
        {kLimit, 0},
        {kLimit, -kSecond},
        {~0ull, 1},
    };
    for (const auto& c : refused)
        EXPECT_FALSE(XpCalendar::ShiftFileTime(c.fileTime, c.offset, &result)) << c.fileTime << ' ' << c.offset;
    EXPECT_EQ(result, 5u);
    EXPECT_FALSE(XpCalendar::ShiftFileTime(0, 0, nullptr));
}

TEST(XpCalendar, SystemTimeFields)
{
    XpSystemTime first{1601, 1, 0, 1, 0, 0, 0, 0};
    XpSystemTime last{30827, 12, 0, 31, 23, 59, 59, 999};
    uint64_t fileTime = 0;
    ASSERT_TRUE(XpCalendar::FileTimeFromSystemTime(first, &fileTime));
    EXPECT_EQ(fileTime, 0u);
    ASSERT_TRUE(XpCalendar::FileTimeFromSystemTime(last, &fileTime));
    XpSystemTime back{};
    ASSERT_TRUE(XpCalendar::SystemTimeFromFileTime(fileTime + 9999, &back));
    EXPECT_EQ(back.year, 30827);
    EXPECT_EQ(back.dayOfWeek, 5);  // a Friday
    EXPECT_EQ(back.milliseconds, 999);
    EXPECT_FALSE(XpCalendar::SystemTimeFromFileTime(kLimit, &back));

    // 29 February only in leap years; the day of the week given is not looked at.
    XpSystemTime t{2023, 2, 6, 29, 0, 0, 0, 0};
    EXPECT_FALSE(XpCalendar::IsValidSystemTime(t));
    t.year = 2024;
    EXPECT_TRUE(XpCalendar::IsValidSystemTime(t));
    const std::pair<uint16_t XpSystemTime::*, uint16_t> outOfRange[] = {
        {&XpSystemTime::month, 13},  {&XpSystemTime::hour, 24},           {&XpSystemTime::minute, 60},
        {&XpSystemTime::second, 60}, {&XpSystemTime::milliseconds, 1000}, {&XpSystemTime::year, 30828},
    };
    for (const auto& [field, value] : outOfRange) {
        XpSystemTime bad = t;
        bad.*field = value;
        EXPECT_FALSE(XpCalendar::FileTimeFromSystemTime(bad, &fileTime)) << value;
    }
    t.year = 1600;
    EXPECT_FALSE(XpCalendar::IsValidSystemTime(t));
}
