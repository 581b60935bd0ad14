#pragma once
// A manual-reset event among the composite objects: once set, every lock succeeds at once
// until the event is cleared again.

#include "foundation/sync/XpComboSyncObject.h"

class XpManualEvent : public XpComboSyncObject {
public:
    // Clear at construction.
    XpManualEvent() = default;

    void SetState(bool signalled);
    // Sets the event; always 0.
    XpResult Unlock() override;
    // Waits until the event is set; leaves it set.
    XpResult LockUntil(const XpWaitDeadline& deadline) override;

private:
    bool m_signalled = false;
};
