// Clock, local time and file times on Windows: the C run-time's 64-bit time functions and
// the kernel's file-time conversions, with FILETIME packed into one 64-bit integer.

#include <time.h>
#include <windows.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformTime.h"

namespace {
FILETIME Unpack(uint64_t value)
{
    FILETIME result;
    result.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
    result.dwHighDateTime = static_cast<DWORD>(value >> 32);
    return result;
}

uint64_t Pack(const FILETIME& value)
{
    return (static_cast<uint64_t>(value.dwHighDateTime) << 32) | value.dwLowDateTime;
}

bool IsLeapYear(unsigned year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The documented limits of SYSTEMTIME that not every implementation of the kernel call
// enforces (some accept 29 February of any year, or the year 30828): checked here so
// that every system refuses the same fields.
bool IsWithinDocumentedRange(const XpSystemTime& time)
{
    static constexpr uint16_t kLengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (time.year < 1601 || time.year > 30827 || time.month < 1 || time.month > 12 || time.day < 1) return false;
    return time.day <= kLengths[time.month - 1] + (time.month == 2 && IsLeapYear(time.year) ? 1 : 0);
}

uint32_t LastErrorOrInvalid()
{
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<uint32_t>(error) : XpWinError::InvalidParameter;
}
}  // namespace

int64_t XpPlatformTime64()
{
    return static_cast<int64_t>(_time64(nullptr));
}

bool XpPlatformLocalTime64(int64_t time, std::tm* out)
{
    if (out == nullptr) return false;
    const __time64_t instant = static_cast<__time64_t>(time);
    return _localtime64_s(out, &instant) == 0;
}

uint32_t XpPlatformFileTimeToLocalFileTime(uint64_t fileTime, uint64_t* localFileTime)
{
    if (localFileTime == nullptr) return XpWinError::InvalidParameter;
    const FILETIME source = Unpack(fileTime);
    FILETIME result;
    if (!FileTimeToLocalFileTime(&source, &result)) return LastErrorOrInvalid();
    *localFileTime = Pack(result);
    return XpWinError::Success;
}

uint32_t XpPlatformLocalFileTimeToFileTime(uint64_t localFileTime, uint64_t* fileTime)
{
    if (fileTime == nullptr) return XpWinError::InvalidParameter;
    const FILETIME source = Unpack(localFileTime);
    FILETIME result;
    if (!LocalFileTimeToFileTime(&source, &result)) return LastErrorOrInvalid();
    *fileTime = Pack(result);
    return XpWinError::Success;
}

uint32_t XpPlatformFileTimeToSystemTime(uint64_t fileTime, XpSystemTime* systemTime)
{
    if (systemTime == nullptr) return XpWinError::InvalidParameter;
    const FILETIME source = Unpack(fileTime);
    SYSTEMTIME result;
    if (!FileTimeToSystemTime(&source, &result)) return LastErrorOrInvalid();
    systemTime->year = result.wYear;
    systemTime->month = result.wMonth;
    systemTime->dayOfWeek = result.wDayOfWeek;
    systemTime->day = result.wDay;
    systemTime->hour = result.wHour;
    systemTime->minute = result.wMinute;
    systemTime->second = result.wSecond;
    systemTime->milliseconds = result.wMilliseconds;
    return XpWinError::Success;
}

uint32_t XpPlatformSystemTimeToFileTime(const XpSystemTime& systemTime, uint64_t* fileTime)
{
    if (fileTime == nullptr || !IsWithinDocumentedRange(systemTime)) return XpWinError::InvalidParameter;
    SYSTEMTIME source;
    source.wYear = systemTime.year;
    source.wMonth = systemTime.month;
    source.wDayOfWeek = systemTime.dayOfWeek;
    source.wDay = systemTime.day;
    source.wHour = systemTime.hour;
    source.wMinute = systemTime.minute;
    source.wSecond = systemTime.second;
    source.wMilliseconds = systemTime.milliseconds;
    FILETIME result;
    if (!SystemTimeToFileTime(&source, &result)) return LastErrorOrInvalid();
    *fileTime = Pack(result);
    return XpWinError::Success;
}
