// Clock, local time and file times on Windows: the C run-time's 64-bit time functions and
// the kernel's file-time conversions, with FILETIME packed into one 64-bit integer.
//
// The kernel shifts between UTC and local time without a range check: near either end of
// the range of file times the shift wraps around (00:30 on 1 January 1601 local time, east
// of UTC, comes back as a count near 2^64, reported as a success). Such results are
// refused with InvalidParameter, as the Linux implementation refuses them, and so are
// inputs that are no file times at all (2^63 or more).

#include <time.h>
#include <windows.h>

#include "platform/PlatformErrors.h"
#include "platform/PlatformTime.h"
#include "platform/shared/XpCalendar.h"

namespace {
FILETIME Unpack(uint64_t value)
{
    FILETIME result;
    result.dwLowDateTime = XpCalendar::LowHalf(value);
    result.dwHighDateTime = XpCalendar::HighHalf(value);
    return result;
}

uint64_t Pack(const FILETIME& value)
{
    return XpCalendar::JoinHalves(value.dwLowDateTime, value.dwHighDateTime);
}

uint32_t LastErrorOrInvalid()
{
    const DWORD error = GetLastError();
    return error != 0 ? static_cast<uint32_t>(error) : XpWinError::InvalidParameter;
}

XpSystemTime FromSystemTime(const SYSTEMTIME& from)
{
    XpSystemTime to;
    to.year = from.wYear;
    to.month = from.wMonth;
    to.dayOfWeek = from.wDayOfWeek;
    to.day = from.wDay;
    to.hour = from.wHour;
    to.minute = from.wMinute;
    to.second = from.wSecond;
    to.milliseconds = from.wMilliseconds;
    return to;
}

using KernelShift = BOOL(WINAPI*)(const FILETIME*, LPFILETIME);

// One of the kernel's shifts between UTC and local time, checked: the offset it applied
// is taken from its answer (the difference modulo 2^64 is the true, small offset) and
// applied again with the range check that the kernel lacks.
uint32_t CheckedShift(KernelShift shift, uint64_t fileTime, uint64_t* result)
{
    if (result == nullptr || fileTime >= XpCalendar::kFileTimeLimit) return XpWinError::InvalidParameter;
    const FILETIME source = Unpack(fileTime);
    FILETIME shifted;
    if (!shift(&source, &shifted)) return LastErrorOrInvalid();
    const int64_t offset = static_cast<int64_t>(Pack(shifted) - fileTime);
    return XpCalendar::ShiftFileTime(fileTime, offset, result) ? XpWinError::Success : XpWinError::InvalidParameter;
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

void XpPlatformGetLocalTime(XpSystemTime* now)
{
    if (now == nullptr) return;
    SYSTEMTIME local;
    GetLocalTime(&local);
    *now = FromSystemTime(local);
}

uint32_t XpPlatformFileTimeToLocalFileTime(uint64_t fileTime, uint64_t* localFileTime)
{
    return CheckedShift(FileTimeToLocalFileTime, fileTime, localFileTime);
}

uint32_t XpPlatformLocalFileTimeToFileTime(uint64_t localFileTime, uint64_t* fileTime)
{
    return CheckedShift(LocalFileTimeToFileTime, localFileTime, fileTime);
}

uint32_t XpPlatformFileTimeToSystemTime(uint64_t fileTime, XpSystemTime* systemTime)
{
    if (systemTime == nullptr) return XpWinError::InvalidParameter;
    const FILETIME source = Unpack(fileTime);
    SYSTEMTIME result;
    if (!FileTimeToSystemTime(&source, &result)) return LastErrorOrInvalid();
    *systemTime = FromSystemTime(result);
    return XpWinError::Success;
}

uint32_t XpPlatformSystemTimeToFileTime(const XpSystemTime& systemTime, uint64_t* fileTime)
{
    // The documented limits of SYSTEMTIME, which not every implementation of the kernel
    // call enforces (some accept 29 February of any year, or the year 30828): checked
    // here so that every system refuses the same fields.
    if (fileTime == nullptr || !XpCalendar::IsValidSystemTime(systemTime)) return XpWinError::InvalidParameter;
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
