#pragma once
// The end of a wait given in whole seconds (-1: never, 0: now, n: n seconds from now), kept
// as one point on the monotonic clock so that an operation that has to wait several times
// waits in all only for what the caller allowed.

#include <cstdint>

class XpWaitDeadline {
public:
    // False for a time-out below -1.
    static bool FromSeconds(int32_t seconds, XpWaitDeadline* deadline);
    static XpWaitDeadline Never() { return XpWaitDeadline(true, 0); }

    bool IsNever() const { return m_never; }
    bool HasPassed() const;
    // The milliseconds for one platform wait: the time left, capped below the platform's
    // "for ever"; for ever when the deadline is never.
    uint32_t NextWaitMilliseconds() const;

private:
    XpWaitDeadline(bool never, uint64_t end) : m_never(never), m_end(end) {}
    bool m_never;
    uint64_t m_end;  // monotonic milliseconds
};
