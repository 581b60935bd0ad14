#pragma once
// A counting semaphore among the composite objects: Unlock releases one unit, a lock takes
// one, waiting while there is none.

#include "foundation/sync/XpComboSyncObject.h"

class XpSemaphore : public XpComboSyncObject {
public:
    static constexpr uint32_t kNoMaximum = 0xFFFFFFFF;

    // At count 0. A release that would go beyond the maximum is dropped.
    explicit XpSemaphore(uint32_t maximum = kNoMaximum) : m_maximum(maximum) {}

    XpResult LockUntil(const XpWaitDeadline& deadline) override;
    // Always 0, also when the release is dropped at the maximum.
    XpResult Unlock() override;

private:
    uint64_t m_count = 0;
    uint32_t m_maximum;
};
