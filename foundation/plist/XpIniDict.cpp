#include "foundation/plist/XpIniDict.h"

#include <iterator>
#include <new>

namespace {

int CompareKeys(const XpChar* left, size_t leftLength, const XpChar* right, size_t rightLength)
{
    const size_t common = leftLength < rightLength ? leftLength : rightLength;
    for (size_t i = 0; i < common; ++i) {
        const auto l = static_cast<uint16_t>(left[i]);
        const auto r = static_cast<uint16_t>(right[i]);
        if (l != r) return l < r ? -1 : 1;
    }
    return leftLength == rightLength ? 0 : leftLength < rightLength ? -1 : 1;
}

size_t LengthOf(const XpString& key)
{
    return static_cast<size_t>(key.GetLength());
}

}  // namespace

bool XpIniKeyLess::operator()(const XpString& left, const XpString& right) const
{
    return CompareKeys(left.GetString(), LengthOf(left), right.GetString(), LengthOf(right)) < 0;
}

bool XpIniKeyLess::operator()(const XpString& left, const XpIniKeyView& right) const
{
    return CompareKeys(left.GetString(), LengthOf(left), right.text, right.length) < 0;
}

bool XpIniKeyLess::operator()(const XpIniKeyView& left, const XpString& right) const
{
    return CompareKeys(left.text, left.length, right.GetString(), LengthOf(right)) < 0;
}

XpIniDict::~XpIniDict()
{
    RemoveAll();
}

void XpIniDict::RemoveAll()
{
    // One by one in key order; the map is emptied at the end, which spares it the
    // rebalancing of one erase per entry.
    for (auto& entry : m_entries) {
        delete entry.second;
        entry.second = nullptr;
    }
    m_entries.clear();
}

int XpIniDict::Count() const
{
    return static_cast<int>(m_entries.size());
}

XpIniElement* XpIniDict::Lookup(const XpIniKeyView& key) const
{
    const auto found = m_entries.find(key);
    return found == m_entries.end() ? nullptr : found->second;
}

XpIniElement* XpIniDict::Find(const XpChar* path) const
{
    const XpChar* rest = nullptr;
    XpIniElement* child = Lookup(SplitPath(path, &rest));
    if (!rest || !child) return child;
    return child->Find(rest);
}

XpResult XpIniDict::Remove(const XpChar* path)
{
    const XpChar* rest = nullptr;
    const XpIniKeyView key = SplitPath(path, &rest);
    if (rest) {
        XpIniElement* child = Lookup(key);
        return child ? child->Remove(rest) : XpRc::PlistNotFound;
    }
    const auto found = m_entries.find(key);
    if (found == m_entries.end()) return XpRc::PlistNotFound;
    XpIniElement* element = found->second;
    m_entries.erase(found);
    delete element;
    return XpRc::Ok;
}

XpResult XpIniDict::AddNew(const XpChar* path, uint32_t type, XpIniInitial initial)
{
    const XpChar* rest = nullptr;
    const XpIniKeyView key = SplitPath(path, &rest);
    if (rest) {
        XpIniElement* child = Lookup(key);
        return child ? child->AddNew(rest, type, initial) : XpRc::PlistNotFound;
    }
    if (m_entries.find(key) != m_entries.end()) return XpRc::PlistKeyExists;
    const XpString text(key.text, static_cast<int32_t>(key.length));
    if (static_cast<size_t>(text.GetLength()) != key.length) return XpRc::OutOfMemory;
    XpIniElement* created = nullptr;
    return AddNewUnder(text, type, initial, &created);
}

XpResult XpIniDict::AddNewUnder(const XpString& key, uint32_t type, XpIniInitial initial, XpIniElement** created)
{
    *created = nullptr;
    const auto position = m_entries.lower_bound(key);
    if (position != m_entries.end() && !m_entries.key_comp()(key, position->first)) return XpRc::PlistKeyExists;
    XpIniElement* element = nullptr;
    const XpResult rc = CreateElement(type, initial, &element);
    if (rc != XpRc::Ok) return rc;
    try {
        m_entries.emplace_hint(position, key, element);
    } catch (const std::bad_alloc&) {
        delete element;
        return XpRc::OutOfMemory;
    }
    *created = element;
    return XpRc::Ok;
}

XpResult XpIniDict::GetEntryAt(int index, XpIniEntry& entry) const
{
    if (index < 0 || index >= Count()) return XpRc::PlistNotFound;
    const auto at = std::next(m_entries.begin(), index);
    entry.key = at->first;
    entry.element = at->second;
    return XpRc::Ok;
}

XpIniElement* XpIniDict::GetElementAt(int index) const
{
    if (index < 0 || index >= Count()) return nullptr;
    return std::next(m_entries.begin(), index)->second;
}

XpIniDict* CreateRootDict()
{
    XpIniDict* dict = new (std::nothrow) XpIniDict;
    if (dict) dict->m_bStandalone = true;
    return dict;
}
