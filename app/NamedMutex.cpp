#include "app/NamedMutex.h"

#include "platform/PlatformNamedMutex.h"

NamedMutex::NamedMutex(const XpChar* name) : m_strName(name)
{
    intptr_t handle = 0;
    bool existed = false;
    if (XpPlatformCreateNamedMutex(name, &handle, &existed) != 0) return;
    if (existed) {
        XpPlatformCloseNamedMutex(handle);
        m_bCreated = false;
        return;
    }
    m_hMutex = handle;
}

NamedMutex::~NamedMutex()
{
    Close();
}

void NamedMutex::Close()
{
    XpPlatformCloseNamedMutex(m_hMutex);
    m_hMutex = 0;
}

bool NamedMutex::Exists(const XpChar* name)
{
    bool exists = true;
    XpPlatformNamedMutexExists(name, &exists);
    return exists;
}
