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
#include "platform/shared/XpCalendar.h"

namespace {
// _MAX__TIME64_T of the Windows C run-time: 3000-12-31 23:59:59 UTC.
constexpr int64_t kMaxTime64 = 32535215999;

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
    int64_t seconds = 0;
    XpCalendar::UnixFromFileTime(fileTime, &seconds, nullptr);
    return seconds;
}

uint32_t ShiftBy(uint64_t fileTime, int64_t offsetSeconds, uint64_t* result)
{
    // The offset is within a few days, so the multiplication cannot overflow.
    return XpCalendar::ShiftFileTime(fileTime, offsetSeconds * XpCalendar::kTicksPerSecond, result)
               ? XpWinError::Success
               : XpWinError::InvalidParameter;
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

void XpPlatformGetLocalTime(XpSystemTime* now)
{
    if (now == nullptr) return;
    struct timespec clock;
    clock_gettime(CLOCK_REALTIME, &clock);
    struct tm fields;
    if (localtime_r(&clock.tv_sec, &fields) == nullptr) {
        *now = XpSystemTime{};
        return;
    }
    now->year = static_cast<uint16_t>(fields.tm_year + 1900);
    now->month = static_cast<uint16_t>(fields.tm_mon + 1);
    now->dayOfWeek = static_cast<uint16_t>(fields.tm_wday);
    now->day = static_cast<uint16_t>(fields.tm_mday);
    now->hour = static_cast<uint16_t>(fields.tm_hour);
    now->minute = static_cast<uint16_t>(fields.tm_min);
    now->second = static_cast<uint16_t>(fields.tm_sec);
    now->milliseconds = static_cast<uint16_t>(clock.tv_nsec / 1000000);
}

uint32_t XpPlatformFileTimeToLocalFileTime(uint64_t fileTime, uint64_t* localFileTime)
{
    if (localFileTime == nullptr || fileTime >= XpCalendar::kFileTimeLimit) return XpWinError::InvalidParameter;
    int64_t offset = 0;
    if (!OffsetAt(SecondsOf(fileTime), &offset)) return XpWinError::InvalidParameter;
    return ShiftBy(fileTime, offset, localFileTime);
}

uint32_t XpPlatformLocalFileTimeToFileTime(uint64_t localFileTime, uint64_t* fileTime)
{
    if (fileTime == nullptr || localFileTime >= XpCalendar::kFileTimeLimit) return XpWinError::InvalidParameter;
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
    return XpCalendar::SystemTimeFromFileTime(fileTime, systemTime) ? XpWinError::Success
                                                                    : XpWinError::InvalidParameter;
}

uint32_t XpPlatformSystemTimeToFileTime(const XpSystemTime& systemTime, uint64_t* fileTime)
{
    return XpCalendar::FileTimeFromSystemTime(systemTime, fileTime) ? XpWinError::Success
                                                                    : XpWinError::InvalidParameter;
}
