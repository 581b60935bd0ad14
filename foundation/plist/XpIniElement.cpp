#include "foundation/plist/XpIniElement.h"

#include <new>

#include "foundation/plist/XpIniArray.h"
#include "foundation/plist/XpIniDict.h"
#include "foundation/plist/XpIniScalars.h"

XpIniElement::~XpIniElement() = default;

int XpIniElement::Count() const
{
    return 0;
}

XpIniElement* XpIniElement::Find(const XpChar*) const
{
    return nullptr;
}

XpIniElement* XpIniElement::GetAt(int) const
{
    return nullptr;
}

XpResult XpIniElement::Remove(const XpChar*)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::RemoveAt(int)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::LoadFromFile(const XpChar*)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::SaveToFile(const XpChar*) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::AddNew(const XpChar*, uint32_t, XpIniInitial)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::InsertNewAt(int, uint32_t, XpIniInitial)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::GetEntryAt(int, XpIniEntry&) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::GetData(XpMemoryFile&) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::GetDate(XpDateTime&) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::GetString(XpString&) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::GetReal(double&) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::GetInt64(int64_t&) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::GetInt32(int32_t&) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::GetBool(bool&) const
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::SetData(XpAbstractFile&, int64_t, int64_t)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::SetDate(const XpDateTime&)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::SetString(const XpChar*)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::SetReal(double)
{
    return XpRc::PlistNotSupported;
}

XpResult XpIniElement::SetInt64(int64_t)
{
    return XpRc::PlistNotSupported;
}

XpResult CreateElement(uint32_t type, XpIniInitial initial, XpIniElement** element)
{
    XpIniElement* created = nullptr;
    switch (type) {
        case XpIniType::Bool:
            created = new (std::nothrow) XpIniBool(initial.Number() != 0);
            break;
        case XpIniType::Int:
            created = new (std::nothrow) XpIniInt(initial.Number());
            break;
        case XpIniType::Real:
            created = new (std::nothrow) XpIniReal;
            break;
        case XpIniType::String:
            created = new (std::nothrow) XpIniString(initial.Text());
            break;
        case XpIniType::MemChunk:
            created = new (std::nothrow) XpIniMemChunk;
            break;
        case XpIniType::Date:
            created = new (std::nothrow) XpIniDate;
            break;
        case XpIniType::Array:
            created = new (std::nothrow) XpIniArray;
            break;
        case XpIniType::Dict:
            created = new (std::nothrow) XpIniDict;
            break;
        default:
            *element = nullptr;
            return XpRc::PlistUnknownType;
    }
    *element = created;
    return created ? XpRc::Ok : XpRc::OutOfMemory;
}
