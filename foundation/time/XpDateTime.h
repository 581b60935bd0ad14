#pragma once
// XpDateTime: a local date and time with one-second resolution, stored as an OLE
// Automation date (days since midnight 30 December 1899, the fraction the time of day),
// with a validity flag. Valid from 1 January 100 00:00:00 to 31 December 9999 23:59:59.
//
// For negative values the fraction counts forward from the start of the day, as OLE
// dates do: -1.25 is 29 December 1899 06:00:00.
//
// Reading a value back into fields rounds it to the nearest second. A value within half
// a second before midnight therefore reads as 00:00:00 of the following day (with that
// day's date and weekday), never as 00:00:00 of the day it started in. Values beyond
// 31 December 9999 23:59:59 are rejected rather than clamped, so no rounding can yield
// the year 10000. Every value whose day is 1 January 100 or later reads back, including
// the times of day of 1 January 100 itself (whose encodings lie below -657434.0).

#include <cstdint>
#include <ctime>

class XpDateTime {
public:
    // 0.0 and invalid.
    XpDateTime() = default;
    XpDateTime(int year, int month, int day, int hour, int minute, int second);
    // year = tm_year + 1900, month = tm_mon + 1, and the day and time fields.
    explicit XpDateTime(const std::tm& fields);
    // A raw OLE Automation date, marked valid; GetFields checks its range.
    static XpDateTime FromOleDate(double value);
    // The current local time.
    static XpDateTime Now();

    // Sets the value from calendar fields; false (and invalid) when any field is out of
    // range or the year is below 100.
    bool SetDateTime(int year, int month, int day, int hour, int minute, int second);
    // The calendar fields (any out may be null; day of week 0 = Sunday). False when the
    // value is invalid or outside the valid range (NaN and infinities included).
    bool GetFields(int* year, int* month, int* day, int* hour, int* minute, int* second, int* dayOfWeek) const;
    // The value as a Windows file time (UTC), the value being local time. False (and 0)
    // when the value is invalid or lies outside what file times can hold (before 1601).
    bool ToFileTime(uint64_t* fileTime) const;
    // As above; 0 when the conversion fails.
    uint64_t ToFileTime() const;

    double GetValue() const { return m_value; }
    bool IsValid() const { return m_valid; }

private:
    bool SetFields(long long year, long long month, long long day, long long hour, long long minute, long long second);

    double m_value = 0.0;
    bool m_valid = false;
};

// The difference type that goes with XpDateTime; declared for completeness, unused.
class XpDateTimeSpan {
public:
    virtual ~XpDateTimeSpan() = default;
};
