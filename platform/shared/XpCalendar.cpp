#include "platform/shared/XpCalendar.h"

namespace XpCalendar {

namespace {
constexpr int kCommonYearMonths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int kCommonYearDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
// 1 March of year 0 to 1 January 1970, the day count's origin.
constexpr int64_t kDaysFromMarchZeroTo1970 = 719468;
constexpr int64_t kDaysPer400Years = 146097;
}  // namespace

bool IsLeapYear(int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int MonthLength(int64_t year, int month)
{
    if (month < 1 || month > 12) return 0;
    return kCommonYearMonths[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

int DaysBeforeMonth(int64_t year, int month)
{
    if (month < 1 || month > 12) return 0;
    return kCommonYearDaysBefore[month - 1] + (month > 2 && IsLeapYear(year) ? 1 : 0);
}

// Years are counted from 1 March, so that the leap day ends each counted year, and in
// eras of 400 years, which repeat exactly.
int64_t DaysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;                                               // 0..399
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;  // from 1 March
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * kDaysPer400Years + dayOfEra - kDaysFromMarchZeroTo1970;
}

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day)
{
    days += kDaysFromMarchZeroTo1970;
    const int64_t era = (days >= 0 ? days : days - (kDaysPer400Years - 1)) / kDaysPer400Years;
    const int64_t dayOfEra = days - era * kDaysPer400Years;  // 0..146096
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);  // from 1 March
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;                                      // 0 = March
    const int m = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    if (day != nullptr) *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    if (month != nullptr) *month = m;
    if (year != nullptr) *year = era * 400 + yearOfEra + (m <= 2 ? 1 : 0);
}

int DayOfWeek(int64_t daysSince1970)
{
    // 1 January 1970 was a Thursday.
    const int64_t shifted = (daysSince1970 + 4) % 7;
    return static_cast<int>(shifted < 0 ? shifted + 7 : shifted);
}

uint64_t FileTimeFromUnix(int64_t seconds, int64_t nanoseconds)
{
    const int64_t ticks = seconds * kTicksPerSecond + nanoseconds / 100;
    return static_cast<uint64_t>(ticks + static_cast<int64_t>(kUnixEpochAsFileTime));
}

void UnixFromFileTime(uint64_t fileTime, int64_t* seconds, int32_t* nanoseconds)
{
    const int64_t ticks = static_cast<int64_t>(fileTime) - static_cast<int64_t>(kUnixEpochAsFileTime);
    int64_t whole = ticks / kTicksPerSecond;
    int64_t rest = ticks % kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --whole;
    }
    if (seconds != nullptr) *seconds = whole;
    if (nanoseconds != nullptr) *nanoseconds = static_cast<int32_t>(rest * 100);
}

bool ShiftFileTime(uint64_t fileTime, int64_t offsetTicks, uint64_t* result)
{
    if (result == nullptr || fileTime >= kFileTimeLimit) return false;
    // base is 0 to 2^63 - 1: adding a negative offset cannot overflow, a positive one is
    // tested before it is added.
    const int64_t base = static_cast<int64_t>(fileTime);
    if (offsetTicks >= 0 ? base > INT64_MAX - offsetTicks : base + offsetTicks < 0) return false;
    *result = static_cast<uint64_t>(base + offsetTicks);
    return true;
}

bool IsValidSystemTime(const XpSystemTime& t)
{
    return t.year >= kFirstSystemYear && t.year <= kLastSystemYear && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= MonthLength(t.year, t.month) && t.hour <= 23 && t.minute <= 59 && t.second <= 59 &&
           t.milliseconds <= 999;
}

bool FileTimeFromSystemTime(const XpSystemTime& t, uint64_t* fileTime)
{
    if (fileTime == nullptr || !IsValidSystemTime(t)) return false;
    const int64_t days = DaysFromCivil(t.year, t.month, t.day) + kDaysFrom1601To1970;
    const int64_t seconds = days * kSecondsPerDay + t.hour * 3600 + t.minute * 60 + t.second;
    *fileTime = static_cast<uint64_t>(seconds * kTicksPerSecond + t.milliseconds * kTicksPerMillisecond);
    return true;
}

bool SystemTimeFromFileTime(uint64_t fileTime, XpSystemTime* t)
{
    if (t == nullptr || fileTime >= kFileTimeLimit) return false;
    const int64_t days = static_cast<int64_t>(fileTime / kTicksPerDay) - kDaysFrom1601To1970;
    const int64_t ticks = static_cast<int64_t>(fileTime % kTicksPerDay);
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days, &year, &month, &day);
    t->year = static_cast<uint16_t>(year);
    t->month = static_cast<uint16_t>(month);
    t->day = static_cast<uint16_t>(day);
    t->dayOfWeek = static_cast<uint16_t>(DayOfWeek(days));
    t->hour = static_cast<uint16_t>(ticks / (3600 * kTicksPerSecond));
    t->minute = static_cast<uint16_t>(ticks / (60 * kTicksPerSecond) % 60);
    t->second = static_cast<uint16_t>(ticks / kTicksPerSecond % 60);
    t->milliseconds = static_cast<uint16_t>(ticks / kTicksPerMillisecond % 1000);
    return true;
}

}  // namespace XpCalendar
