#pragma once
// SfStringsManagerKeeper: the process-wide holder of the localized string files, one
// XpStringsManager per file in the order given. A lookup answers the first non-empty
// text over the files. There is at most one keeper; it exists from Initialize until it
// is deleted, and its deletion clears the process-wide pointer.
//
// Initialize runs once, before any lookup; lookups only read, so they may then run on
// any thread.

#include <atomic>
#include <vector>

#include "foundation/XpResult.h"
#include "foundation/XpSharedPtr.h"
#include "foundation/strings/XpStringsManager.h"

class SfStringsManagerKeeper {
public:
    virtual ~SfStringsManagerKeeper();
    SfStringsManagerKeeper(const SfStringsManagerKeeper&) = delete;
    SfStringsManagerKeeper& operator=(const SfStringsManagerKeeper&) = delete;

    // Makes the keeper and loads the files in order. 0; 0x8000 when a keeper exists
    // already (nothing changes); otherwise the code of the first file that failed to load:
    // the keeper then holds one empty manager, so every lookup answers an empty text.
    static XpResult Initialize(const std::vector<XpString>& paths);
    // The first non-empty text for the key path; empty without a keeper.
    static XpString GetString(const XpChar* keyPath);
    // The keeper, or null.
    static SfStringsManagerKeeper* GetInstance() { return s_pInstance.load(std::memory_order_acquire); }

    const std::vector<XpSharedPtr<XpStringsManager>>& GetManagers() const { return m_managers; }

private:
    SfStringsManagerKeeper() = default;
    // A manager with a new empty root dictionary; empty when memory is exhausted.
    static XpSharedPtr<XpStringsManager> NewManager();

    std::vector<XpSharedPtr<XpStringsManager>> m_managers;
    static std::atomic<SfStringsManagerKeeper*> s_pInstance;
};
