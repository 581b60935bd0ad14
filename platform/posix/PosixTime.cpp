// Clock, local time and file times on Linux.
//
// Calendar fields <-> file times use exact integer arithmetic over the proleptic
// Gregorian calendar with Windows' limits: file times below 2^63, system times of the
// years 1601 to 30827 with every field in range.
//
// UTC <-> local applies the time zone rules in force at the instant concerned (Windows
// applies today's bias to every instant; a round trip gives the same result on both).
// Local -> UTC must pick one reading where the rules make a local time ambiguous:
// - a local time that occurs twice (the hour repeated when the clocks go back) is read
//   as the earlier instant, i.e. with the offset in force before the change;
// - a local time that never occurs (skipped when the clocks go forward) is read with
//   the offset in force before the change as well, which places it as far after the
//   change as it lies after the start of the skipped interval (02:30 in a 02:00 to
//   03:00 gap becomes 03:30).
// Results that would leave the range of file times (0 to 2^63 - 1) are refused with
// InvalidParameter rather than wrapped.

#include <time.h>

#include <algorithm>
#include <cstdint>

#include "platform/PlatformErrors.h"
#include "platform/PlatformTime.h"

namespace {
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kDaysFrom1601To1970 = 134774;
constexpr uint64_t kFileTimeLimit = 1ULL << 63;
// _MAX__TIME64_T of the Windows C run-time: 3000-12-31 23:59:59 UTC.
constexpr int64_t kMaxTime64 = 32535215999;

bool IsLeapYear(int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int MonthLength(int64_t year, int month)
{
    static constexpr int kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return kLengths[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
}

// Days since 1970-01-01 of a proleptic Gregorian date (years counted from March so that
// the leap day ends each counted year).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, int* month, int* day)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    *day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    *month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    *year = era * 400 + yearOfEra + (*month <= 2 ? 1 : 0);
}

// The offset from UTC (seconds, east positive) in force at an instant.
bool OffsetAt(int64_t secondsSince1970, int64_t* offset)
{
    const time_t instant = static_cast<time_t>(secondsSince1970);
    struct tm fields;
    if (localtime_r(&instant, &fields) == nullptr) return false;
    *offset = fields.tm_gmtoff;
    return true;
}

// Seconds since 1970 of the whole second that holds a file time (which is below 2^63).
int64_t SecondsOf(uint64_t fileTime)
{
    return static_cast<int64_t>(fileTime / kTicksPerSecond) - kSecondsFrom1601To1970;
}

uint32_t ShiftBy(uint64_t fileTime, int64_t offsetSeconds, uint64_t* result)
{
    // The file time is below 2^63 and the offset within a few days, so the tests below
    // cannot overflow; the sum must stay within 0 to 2^63 - 1.
    const int64_t base = static_cast<int64_t>(fileTime);
    const int64_t delta = offsetSeconds * kTicksPerSecond;
    if (delta < 0 ? base < -delta : base > INT64_MAX - delta) return XpWinError::InvalidParameter;
    *result = static_cast<uint64_t>(base + delta);
    return XpWinError::Success;
}
}  // namespace

int64_t XpPlatformTime64()
{
    return static_cast<int64_t>(time(nullptr));
}

bool XpPlatformLocalTime64(int64_t time, std::tm* out)
{
    // The Windows C run-time's range, so both targets accept the same instants.
    if (out == nullptr || time < 0 || time > kMaxTime64) return false;
    const time_t instant = static_cast<time_t>(time);
    return localtime_r(&instant, out) != nullptr;
}

uint32_t XpPlatformFileTimeToLocalFileTime(uint64_t fileTime, uint64_t* localFileTime)
{
    if (localFileTime == nullptr || fileTime >= kFileTimeLimit) return XpWinError::InvalidParameter;
    int64_t offset = 0;
    if (!OffsetAt(SecondsOf(fileTime), &offset)) return XpWinError::InvalidParameter;
    return ShiftBy(fileTime, offset, localFileTime);
}

uint32_t XpPlatformLocalFileTimeToFileTime(uint64_t localFileTime, uint64_t* fileTime)
{
    if (fileTime == nullptr || localFileTime >= kFileTimeLimit) return XpWinError::InvalidParameter;
    const int64_t local = SecondsOf(localFileTime);

    // The offsets in force around the instant: the instant is within a day of the local
    // time, and rule changes lie further apart than that.
    int64_t candidates[4];
    int count = 0;
    for (const int64_t probe : {local, local - 86400, local + 86400}) {
        int64_t offset = 0;
        if (!OffsetAt(probe, &offset)) return XpWinError::InvalidParameter;
        candidates[count++] = offset;
    }
    int64_t firstGuess = 0;
    if (!OffsetAt(local - candidates[0], &firstGuess)) return XpWinError::InvalidParameter;
    candidates[count++] = firstGuess;

    // Every candidate that maps back is a reading of the local time; the earliest wins.
    bool found = false;
    int64_t chosen = 0;
    for (int i = 0; i < count; ++i) {
        int64_t actual = 0;
        if (!OffsetAt(local - candidates[i], &actual)) return XpWinError::InvalidParameter;
        if (actual == candidates[i] && (!found || candidates[i] > chosen)) {
            chosen = candidates[i];
            found = true;
        }
    }
    if (!found) {
        // Skipped local time: the offset before the change is the one in force at the
        // earliest possible reading.
        const int64_t largest = *std::max_element(candidates, candidates + count);
        if (!OffsetAt(local - largest, &chosen)) return XpWinError::InvalidParameter;
    }

    return ShiftBy(localFileTime, -chosen, fileTime);
}

uint32_t XpPlatformFileTimeToSystemTime(uint64_t fileTime, XpSystemTime* systemTime)
{
    if (systemTime == nullptr || fileTime >= kFileTimeLimit) return XpWinError::InvalidParameter;
    const int64_t days = static_cast<int64_t>(fileTime / kTicksPerDay);
    const int64_t ticks = static_cast<int64_t>(fileTime % kTicksPerDay);
    int64_t year = 0;
    int month = 0, day = 0;
    CivilFromDays(days - kDaysFrom1601To1970, &year, &month, &day);
    systemTime->year = static_cast<uint16_t>(year);
    systemTime->month = static_cast<uint16_t>(month);
    systemTime->day = static_cast<uint16_t>(day);
    // 1 January 1601 was a Monday.
    systemTime->dayOfWeek = static_cast<uint16_t>((days + 1) % 7);
    systemTime->hour = static_cast<uint16_t>(ticks / (3600 * kTicksPerSecond));
    systemTime->minute = static_cast<uint16_t>(ticks / (60 * kTicksPerSecond) % 60);
    systemTime->second = static_cast<uint16_t>(ticks / kTicksPerSecond % 60);
    systemTime->milliseconds = static_cast<uint16_t>(ticks / 10000 % 1000);
    return XpWinError::Success;
}

uint32_t XpPlatformSystemTimeToFileTime(const XpSystemTime& systemTime, uint64_t* fileTime)
{
    if (fileTime == nullptr) return XpWinError::InvalidParameter;
    const XpSystemTime& t = systemTime;
    if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > MonthLength(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59 || t.milliseconds > 999)
        return XpWinError::InvalidParameter;
    const int64_t days = DaysFromCivil(t.year, t.month, t.day) + kDaysFrom1601To1970;
    const int64_t seconds = days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    *fileTime = static_cast<uint64_t>(seconds * kTicksPerSecond + t.milliseconds * 10000);
    return XpWinError::Success;
}
