#include "foundation/files/XpFSObj.h"

XpAbstractFSObj::~XpAbstractFSObj() = default;

XpResult XpAbstractFSObj::SetPath(const XpChar* path)
{
    m_path = path;
    return XpRc::Ok;
}

XpString XpAbstractFSObj::GetPath() const
{
    return m_path;
}

XpDateTime XpAbstractFSObj::GetCreationTime() const
{
    XpDateTime time;
    if (GetTimes(&time, nullptr, nullptr) != XpRc::Ok) return XpDateTime();
    return time;
}

XpDateTime XpAbstractFSObj::GetModificationTime() const
{
    XpDateTime time;
    if (GetTimes(nullptr, &time, nullptr) != XpRc::Ok) return XpDateTime();
    return time;
}

XpDateTime XpAbstractFSObj::GetAccessTime() const
{
    XpDateTime time;
    if (GetTimes(nullptr, nullptr, &time) != XpRc::Ok) return XpDateTime();
    return time;
}

XpResult XpAbstractFSObj::SetTimes(const XpDateTime*, const XpDateTime*, const XpDateTime*)
{
    return XpRc::NotSupportedByKind;
}

XpResult XpAbstractFSObj::GetInfo(XpDateTime* creation, XpDateTime* modification, XpDateTime* access,
                                  int64_t* size) const
{
    XpResult rc = XpRc::Ok;
    if (creation || modification || access) rc = GetTimes(creation, modification, access);
    if (rc == XpRc::Ok && size) *size = GetSize();
    return rc;
}
