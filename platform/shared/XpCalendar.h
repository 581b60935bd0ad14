#pragma once
// Calendar and file-time arithmetic that both targets share: the proleptic Gregorian
// calendar, Windows file times (100-nanosecond ticks since 1 January 1601 UTC) with their
// two 32-bit halves, SYSTEMTIME fields, and the C library's seconds since 1970. Pure
// code: no clock, no time zone, no system call.

#include <cstdint>

#include "platform/PlatformTime.h"

namespace XpCalendar {
inline constexpr int64_t kTicksPerMillisecond = 10000;
inline constexpr int64_t kTicksPerSecond = 10000000;
inline constexpr int64_t kSecondsPerDay = 86400;
inline constexpr int64_t kTicksPerDay = kSecondsPerDay * kTicksPerSecond;
// 1 January 1970 counted from 1 January 1601: in days, seconds and file-time ticks.
inline constexpr int64_t kDaysFrom1601To1970 = 134774;
inline constexpr int64_t kSecondsFrom1601To1970 = kDaysFrom1601To1970 * kSecondsPerDay;
inline constexpr uint64_t kUnixEpochAsFileTime = static_cast<uint64_t>(kSecondsFrom1601To1970 * kTicksPerSecond);
// Every file time lies below 2^63: the system refuses anything at or above.
inline constexpr uint64_t kFileTimeLimit = 1ULL << 63;
// The years that a SYSTEMTIME may name.
inline constexpr int kFirstSystemYear = 1601;
inline constexpr int kLastSystemYear = 30827;

// Divisible by 4 and not by 100, or divisible by 400.
bool IsLeapYear(int64_t year);
// The days of a month (1 to 12) of a year; 0 for a month outside 1 to 12.
int MonthLength(int64_t year, int month);
// The days of the year before the first of a month (1 to 12); 0 for any other month.
int DaysBeforeMonth(int64_t year, int month);

// Days since 1 January 1970 (negative before) of a date, and back. Any year of the
// proleptic Gregorian calendar; the date is not checked (31 April is 1 May).
int64_t DaysFromCivil(int64_t year, int month, int day);
void CivilFromDays(int64_t days, int64_t* year, int* month, int* day);
// The day of the week (0 = Sunday) of a day counted as above.
int DayOfWeek(int64_t daysSince1970);

// A FILETIME's halves and the one 64-bit value they make.
constexpr uint64_t JoinHalves(uint32_t low, uint32_t high)
{
    return (static_cast<uint64_t>(high) << 32) | low;
}
constexpr uint32_t LowHalf(uint64_t value)
{
    return static_cast<uint32_t>(value & 0xFFFFFFFFu);
}
constexpr uint32_t HighHalf(uint64_t value)
{
    return static_cast<uint32_t>(value >> 32);
}

// Seconds and nanoseconds since 1970 (UTC) as a file time, and back. The file time is
// read as a signed count, so values at or above 2^63 come out before 1601; seconds are
// rounded down, so the nanoseconds are always 0 to 999999999.
uint64_t FileTimeFromUnix(int64_t seconds, int64_t nanoseconds);
void UnixFromFileTime(uint64_t fileTime, int64_t* seconds, int32_t* nanoseconds);

// fileTime + offsetTicks, when fileTime is a file time and the sum is one too; false (and
// the result untouched) otherwise, so that no shift can wrap around either end.
bool ShiftFileTime(uint64_t fileTime, int64_t offsetTicks, uint64_t* result);

// The documented range of SYSTEMTIME: the years 1601 to 30827, and every field within
// its calendar limits (the day of the week is not looked at).
bool IsValidSystemTime(const XpSystemTime& time);
// SYSTEMTIME fields <-> file time; false when the fields are out of range or the file
// time is 2^63 or more. Ticks below a millisecond are dropped on the way to fields.
bool FileTimeFromSystemTime(const XpSystemTime& time, uint64_t* fileTime);
bool SystemTimeFromFileTime(uint64_t fileTime, XpSystemTime* time);
}  // namespace XpCalendar
