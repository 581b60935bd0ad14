#pragma once
// XpDateTime: a local date and time with one-second resolution, stored as an OLE
// Automation date (days since midnight 30 December 1899, the fraction the time of day),
// with a validity flag. Valid from 1 January 100 00:00:00 to 31 December 9999 23:59:59.

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
    // value is invalid or outside the valid range.
    bool GetFields(int* year, int* month, int* day, int* hour, int* minute, int* second, int* dayOfWeek) const;
    // The value as a Windows file time (UTC), the value being local time. False when the
    // value is invalid or lies outside what file times can hold (before 1601).
    bool ToFileTime(uint64_t* fileTime) const;
    // As above; 0 when the conversion fails.
    uint64_t ToFileTime() const;

    double GetValue() const { return m_dValue; }
    bool IsValid() const { return m_bValid; }

private:
    double m_dValue = 0.0;
    bool m_bValid = false;
};

// The difference type that goes with XpDateTime; declared for completeness, unused.
class XpDateTimeSpan {
public:
    virtual ~XpDateTimeSpan() = default;
};
