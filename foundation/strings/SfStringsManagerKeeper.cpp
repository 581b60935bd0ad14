#include "foundation/strings/SfStringsManagerKeeper.h"

#include <new>

#include "foundation/plist/XpIniDict.h"

std::atomic<SfStringsManagerKeeper*> SfStringsManagerKeeper::s_pInstance{nullptr};

SfStringsManagerKeeper::~SfStringsManagerKeeper()
{
    SfStringsManagerKeeper* self = this;
    s_pInstance.compare_exchange_strong(self, nullptr);
}

XpSharedPtr<XpStringsManager> SfStringsManagerKeeper::NewManager()
{
    XpIniDict* root = CreateRootDict();
    if (!root) return XpSharedPtr<XpStringsManager>();
    auto* manager = new (std::nothrow) XpStringsManager(root);
    if (!manager) {
        delete root;
        return XpSharedPtr<XpStringsManager>();
    }
    try {
        return XpSharedPtr<XpStringsManager>(manager);
    } catch (const std::bad_alloc&) {
        delete manager;
        return XpSharedPtr<XpStringsManager>();
    }
}

XpResult SfStringsManagerKeeper::Initialize(const std::vector<XpString>& paths)
{
    if (GetInstance()) return XpRc::Failure;
    auto* keeper = new (std::nothrow) SfStringsManagerKeeper;
    if (!keeper) return XpRc::OutOfMemory;
    s_pInstance.store(keeper, std::memory_order_release);
    try {
        keeper->m_managers.clear();
        for (const XpString& path : paths) {
            XpSharedPtr<XpStringsManager> manager = NewManager();
            XpResult rc = manager ? manager->GetRoot()->LoadFromFile(path.GetString()) : XpRc::OutOfMemory;
            if (rc != XpRc::Ok) {
                keeper->m_managers.clear();
                manager = NewManager();
                if (manager) keeper->m_managers.push_back(manager);
                return rc;
            }
            keeper->m_managers.push_back(manager);
        }
    } catch (const std::bad_alloc&) {
        keeper->m_managers.clear();
        return XpRc::OutOfMemory;
    }
    return XpRc::Ok;
}

XpString SfStringsManagerKeeper::GetString(const XpChar* keyPath)
{
    const SfStringsManagerKeeper* keeper = GetInstance();
    if (!keeper) return XpString();
    // The managers live as long as the keeper, and lookups run between its initialisation
    // and its deletion: no manager needs an extra share for the length of one lookup.
    for (const XpSharedPtr<XpStringsManager>& manager : keeper->m_managers) {
        const XpString* text = manager->FindText(keyPath);
        if (text && !text->IsEmpty()) return *text;
    }
    return XpString();
}
