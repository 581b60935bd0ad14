#include "app/InstallThreadProc.h"

#include "app/KestrowApp.h"
#include "ui/DialogMessages.h"
#include "update/InstallStage.h"

uint32_t InstallThreadProc(void* dialog)
{
    if (dialog == nullptr) return 0xFFFFFFFF;
    KestrowApp* app = CurrentKestrowApp();
    if (app == nullptr) return 0xFFFFFFFF;
    InstallStageContext context;
    context.packagePath = app->m_strPackagePath;
    context.held = &app->m_heldPackage;
    context.post = [dialog](InstallStageMessage message, uint64_t wParam, int64_t lParam) {
        PostStageMessage(dialog, message == InstallStageMessage::Begun ? WM_INSTALL_BEGUN : WM_INSTALL_DONE,
                         static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam));
    };
    return static_cast<uint32_t>(RunInstallStage(context));
}
