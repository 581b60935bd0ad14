#include "app/HostProductProbe.h"

#include "app/NamedMutex.h"

bool ProbeHostProductRunning()
{
    return NamedMutex::Exists(kHostInstallerMutexName) || NamedMutex::Exists(kSiblingViewerMutexName);
}
