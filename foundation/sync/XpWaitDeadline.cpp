#include "foundation/sync/XpWaitDeadline.h"

#include "platform/PlatformSync.h"

bool XpWaitDeadline::FromSeconds(int32_t seconds, XpWaitDeadline* deadline)
{
    if (seconds < -1) return false;
    if (seconds == -1) {
        *deadline = Never();
        return true;
    }
    // At most 2^31 seconds: the milliseconds fit 64 bits with room to spare.
    *deadline = XpWaitDeadline(false, XpPlatformMonotonicMilliseconds() + static_cast<uint64_t>(seconds) * 1000u);
    return true;
}

bool XpWaitDeadline::HasPassed() const
{
    return !m_never && XpPlatformMonotonicMilliseconds() >= m_end;
}

uint32_t XpWaitDeadline::NextWaitMilliseconds() const
{
    if (m_never) return XpInfiniteWait;
    const uint64_t now = XpPlatformMonotonicMilliseconds();
    if (now >= m_end) return 0;
    const uint64_t left = m_end - now;
    return left < XpInfiniteWait ? static_cast<uint32_t>(left) : XpInfiniteWait - 1;
}
