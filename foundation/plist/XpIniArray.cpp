#include "foundation/plist/XpIniArray.h"

#include <new>

#include "foundation/plist/XpIniText.h"

XpIniArray::~XpIniArray()
{
    for (XpIniElement* item : m_items) delete item;
    m_items.clear();
}

int XpIniArray::Count() const
{
    return static_cast<int>(m_items.size());
}

XpIniElement* XpIniArray::Find(const XpChar* path) const
{
    const XpChar* rest = nullptr;
    SplitPath(path, &rest);
    XpIniElement* item = GetAt(XpIniReadInt32(path));
    if (!rest || !item) return item;
    return item->Find(rest);
}

XpIniElement* XpIniArray::GetAt(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_items.size()) return nullptr;
    return m_items[static_cast<size_t>(index)];
}

XpResult XpIniArray::Remove(const XpChar* path)
{
    const XpChar* rest = nullptr;
    SplitPath(path, &rest);
    const int index = XpIniReadInt32(path);
    if (!rest) return RemoveAt(index);
    XpIniElement* item = GetAt(index);
    return item ? item->Remove(rest) : XpRc::PlistNotFound;
}

XpResult XpIniArray::RemoveAt(int index)
{
    XpIniElement* item = GetAt(index);
    if (!item) return XpRc::PlistNotFound;
    m_items.erase(m_items.begin() + index);
    delete item;
    return XpRc::Ok;
}

XpResult XpIniArray::AddNew(const XpChar* path, uint32_t type, XpIniInitial initial)
{
    const XpChar* rest = nullptr;
    SplitPath(path, &rest);
    const int index = XpIniReadInt32(path);
    if (!rest) return InsertNewAt(index, type, initial);
    XpIniElement* item = GetAt(index);
    return item ? item->AddNew(rest, type, initial) : XpRc::PlistNotFound;
}

XpResult XpIniArray::InsertNewAt(int index, uint32_t type, XpIniInitial initial)
{
    if (index == -1) index = Count();
    if (index < 0 || static_cast<size_t>(index) > m_items.size()) return XpRc::PlistNotFound;
    XpIniElement* element = nullptr;
    const XpResult rc = CreateElement(type, initial, &element);
    if (rc != XpRc::Ok) return rc;
    try {
        m_items.insert(m_items.begin() + index, element);
    } catch (const std::bad_alloc&) {
        delete element;
        return XpRc::OutOfMemory;
    }
    return XpRc::Ok;
}
