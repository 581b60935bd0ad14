#include <windows.h>

#include <new>

#include "platform/PlatformSync.h"

static_assert(sizeof(CRITICAL_SECTION) <= 64, "storage too small for CRITICAL_SECTION");

namespace {
CRITICAL_SECTION* AsSection(unsigned char* storage)
{
    return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}
}  // namespace

XpPlatformCriticalSection::XpPlatformCriticalSection()
{
    InitializeCriticalSection(new (m_storage) CRITICAL_SECTION);
}

XpPlatformCriticalSection::~XpPlatformCriticalSection()
{
    DeleteCriticalSection(AsSection(m_storage));
}

void XpPlatformCriticalSection::Enter()
{
    EnterCriticalSection(AsSection(m_storage));
}

void XpPlatformCriticalSection::Leave()
{
    LeaveCriticalSection(AsSection(m_storage));
}

bool XpPlatformCriticalSection::TryEnter()
{
    return TryEnterCriticalSection(AsSection(m_storage)) != 0;
}

uint32_t XpPlatformCurrentThreadId()
{
    return GetCurrentThreadId();
}
