#include "app/LaunchAsDesktopUser.h"

#include "platform/PlatformProcess.h"

uint32_t LaunchAsDesktopUser(const XpString& path, const XpChar* commandLine, bool wait, uint32_t waitLimit)
{
    uint32_t result = kLaunchFailed;
    XpPlatformProcess process;
    if (process.StartAsDesktopUser(path.GetString(), commandLine) != 0) return result;
    process.Wait(wait ? waitLimit : 0);
    uint32_t code = 0;
    if (process.GetExitCode(&code)) result = code;
    process.Close();
    return result;
}
