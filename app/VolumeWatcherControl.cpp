#include "app/VolumeWatcherControl.h"

#include <chrono>
#include <thread>
#include <vector>

#include "app/KestrowApp.h"
#include "app/LaunchAsDesktopUser.h"
#include "foundation/files/XpFileOperation.h"
#include "foundation/files/XpPathText.h"
#include "platform/PlatformProcess.h"

bool IsWatcherSuccess(uint32_t code)
{
    return code == 0 || code == 3010 || code == 0x20000001;
}

VolumeWatcherControl::VolumeWatcherControl(const XpString& productKey) : m_strProductKey(productKey)
{
    Locate();
}

bool VolumeWatcherControl::Locate()
{
    const XpString path = GetComponentExePath(m_strProductKey, XpString(kVolumeWatcherComponent));
    if (!path.IsEmpty() && XpFileOperation::IsExistingFile(path)) {
        m_strPath = path;
        m_strExeName = GetFileNamePart(path);
        return true;
    }
    m_strPath = XpString();
    m_strExeName = XpString();
    return false;
}

bool VolumeWatcherControl::IsRunning() const
{
    if (m_strExeName.IsEmpty()) return false;
    std::vector<XpPlatformString> names;
    XpPlatformListProcessFileNames(&names);
    for (const XpPlatformString& name : names)
        if (XpString(name.c_str()) == m_strExeName) return true;
    return false;
}

bool VolumeWatcherControl::CloseAll()
{
    if (!IsRunning()) return true;
    if (!Locate()) return false;
    const uint32_t code = LaunchAsDesktopUser(m_strPath, kVolumeWatcherSwitch, true, m_dwExitAllLimit);
    if (!IsWatcherSuccess(code)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(m_dwSettleTime));
    return true;
}

bool VolumeWatcherControl::Restart()
{
    if (IsRunning()) return true;
    if (!Locate()) return false;
    return IsWatcherSuccess(LaunchAsDesktopUser(m_strPath, nullptr, false));
}
