#pragma once
// Clock, local time and file times.
// File times are Windows FILETIME values as 64-bit integers: 100-nanosecond intervals
// since 1 January 1601 UTC. A "local file time" is the same count in local time.
// Linux applies the time zone rules in force at the instant being converted. Both targets
// refuse (InvalidParameter) a file time of 2^63 or more and any shift between UTC and
// local time whose result would leave the range 0 to 2^63 - 1.

#include <cstdint>
#include <ctime>

// The Windows SYSTEMTIME record.
struct XpSystemTime {
    uint16_t year;
    uint16_t month;
    uint16_t dayOfWeek;
    uint16_t day;
    uint16_t hour;
    uint16_t minute;
    uint16_t second;
    uint16_t milliseconds;
};

// _time64: seconds since 1970 UTC.
int64_t XpPlatformTime64();
// _localtime64_s: true on success.
bool XpPlatformLocalTime64(int64_t time, std::tm* out);

// GetLocalTime: the current local time as calendar fields, to the millisecond.
void XpPlatformGetLocalTime(XpSystemTime* now);

// Each returns 0 or a Windows error number.
uint32_t XpPlatformFileTimeToLocalFileTime(uint64_t fileTime, uint64_t* localFileTime);
uint32_t XpPlatformLocalFileTimeToFileTime(uint64_t localFileTime, uint64_t* fileTime);
uint32_t XpPlatformFileTimeToSystemTime(uint64_t fileTime, XpSystemTime* systemTime);
uint32_t XpPlatformSystemTimeToFileTime(const XpSystemTime& systemTime, uint64_t* fileTime);
