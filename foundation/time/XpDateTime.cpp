#include "foundation/time/XpDateTime.h"

#include <cmath>

#include "platform/PlatformTime.h"
#include "platform/shared/XpCalendar.h"

namespace {
// 1 January 100 and 31 December 9999 23:59:59.
constexpr double kMinimumDay = -657434.0;
constexpr double kMaximumValue = 2958465.999988426;
constexpr double kHalfSecond = 0.5 / 86400.0;
// Day 0 of the encoding, 30 December 1899, is 25569 days before 1 January 1970.
constexpr long long kDayZeroBefore1970 = 25569;
}  // namespace

XpDateTime::XpDateTime(int year, int month, int day, int hour, int minute, int second)
{
    SetDateTime(year, month, day, hour, minute, second);
}

XpDateTime::XpDateTime(const std::tm& fields)
{
    // Widened first: tm_year + 1900 and tm_mon + 1 must not overflow for any record.
    SetFields(static_cast<long long>(fields.tm_year) + 1900, static_cast<long long>(fields.tm_mon) + 1, fields.tm_mday,
              fields.tm_hour, fields.tm_min, fields.tm_sec);
}

XpDateTime XpDateTime::FromOleDate(double value)
{
    XpDateTime result;
    result.m_value = value;
    result.m_valid = true;
    return result;
}

XpDateTime XpDateTime::Now()
{
    std::tm fields{};
    if (!XpPlatformLocalTime64(XpPlatformTime64(), &fields)) return XpDateTime();
    return XpDateTime(fields);
}

bool XpDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second)
{
    return SetFields(year, month, day, hour, minute, second);
}

bool XpDateTime::SetFields(long long year, long long month, long long day, long long hour, long long minute,
                           long long second)
{
    m_value = 0.0;
    m_valid = false;
    if (year < 100 || year > 9999) return false;
    if (month < 1 || month > 12 || day < 1) return false;
    if (day > XpCalendar::MonthLength(year, static_cast<int>(month))) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return false;

    const long long dayNumber =
        XpCalendar::DaysFromCivil(year, static_cast<int>(month), static_cast<int>(day)) + kDayZeroBefore1970;
    const double fraction = static_cast<double>(hour * 3600 + minute * 60 + second) / 86400.0;
    m_value = dayNumber >= 0 ? static_cast<double>(dayNumber) + fraction : static_cast<double>(dayNumber) - fraction;
    m_valid = true;
    return true;
}

bool XpDateTime::GetFields(int* year, int* month, int* day, int* hour, int* minute, int* second, int* dayOfWeek) const
{
    // Written so that NaN fails the test. The lower bound is the day, not the number:
    // the times of day of 1 January 100 lie between -657435 and -657434.
    if (!m_valid || !(m_value > kMinimumDay - 1.0 && m_value <= kMaximumValue)) return false;

    // Round to the nearest second, half a second away from zero as OLE dates do.
    const double rounded = m_value + (m_value >= 0.0 ? kHalfSecond : -kHalfSecond);
    const double magnitude = std::fabs(rounded);
    const double wholeDays = std::floor(magnitude);
    long long secondsOfDay = static_cast<long long>((magnitude - wholeDays) * 86400.0);
    if (secondsOfDay > 86399) secondsOfDay = 86399;

    // The day comes from the unrounded value. When rounding carried the time past
    // midnight the value reads as the start of the next day, whatever the sign (for
    // negative values too the fraction runs forward through the day).
    long long dayNumber = static_cast<long long>(std::trunc(m_value));
    if (wholeDays != std::floor(std::fabs(m_value))) {
        ++dayNumber;
        secondsOfDay = 0;
    }

    int64_t y = 0;
    int m = 0, d = 0;
    XpCalendar::CivilFromDays(dayNumber - kDayZeroBefore1970, &y, &m, &d);
    if (year) *year = static_cast<int>(y);
    if (month) *month = m;
    if (day) *day = d;
    if (hour) *hour = static_cast<int>(secondsOfDay / 3600);
    if (minute) *minute = static_cast<int>(secondsOfDay / 60 % 60);
    if (second) *second = static_cast<int>(secondsOfDay % 60);
    if (dayOfWeek) *dayOfWeek = XpCalendar::DayOfWeek(dayNumber - kDayZeroBefore1970);
    return true;
}

bool XpDateTime::ToFileTime(uint64_t* fileTime) const
{
    if (fileTime == nullptr) return false;
    *fileTime = 0;
    int year, month, day, hour, minute, second, dayOfWeek;
    if (!GetFields(&year, &month, &day, &hour, &minute, &second, &dayOfWeek)) return false;
    XpSystemTime fields{};
    fields.year = static_cast<uint16_t>(year);
    fields.month = static_cast<uint16_t>(month);
    fields.dayOfWeek = static_cast<uint16_t>(dayOfWeek);
    fields.day = static_cast<uint16_t>(day);
    fields.hour = static_cast<uint16_t>(hour);
    fields.minute = static_cast<uint16_t>(minute);
    fields.second = static_cast<uint16_t>(second);
    fields.milliseconds = 0;
    uint64_t localFileTime = 0;
    if (XpPlatformSystemTimeToFileTime(fields, &localFileTime) != 0) return false;
    uint64_t utc = 0;
    if (XpPlatformLocalFileTimeToFileTime(localFileTime, &utc) != 0) return false;
    *fileTime = utc;
    return true;
}

uint64_t XpDateTime::ToFileTime() const
{
    uint64_t fileTime = 0;
    return ToFileTime(&fileTime) ? fileTime : 0;
}
