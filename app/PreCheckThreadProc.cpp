#include "app/PreCheckThreadProc.h"

#include "app/KestrowApp.h"
#include "app/PreCheckStage.h"
#include "platform/PlatformProcess.h"
#include "update/OperatingSystem.h"
#include "update/WorkDirectory.h"

uint32_t PreCheckThreadProc(void* dialog)
{
    if (dialog == nullptr) return 0xFFFFFFFF;
    KestrowApp* app = CurrentKestrowApp();
    if (app == nullptr) return 0xFFFFFFFF;
    PreCheckContext context;
    context.isSupportedSystem = [] { return IsSupportedOperatingSystem(); };
    context.isAdministrator = [] { return XpPlatformIsUserAnAdmin(); };
    context.installedVersion = app->m_strInstalledVersion;
    context.ensureWorkDirectory = [app] { return app->m_heldWorkDirectory.Take(); };
    context.watcher = &app->m_volumeWatcher;
    context.downloadComplete = &app->m_bDownloadComplete;
    context.aborted = [] { return g_threadManager.CheckAbort(); };
    context.post = [dialog](uint32_t message, uintptr_t wParam, intptr_t lParam) {
        PostStageMessage(dialog, message, wParam, lParam);
    };
    return static_cast<uint32_t>(RunPreCheck(context));
}
