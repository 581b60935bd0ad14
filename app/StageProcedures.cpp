#include "app/StageProcedures.h"

#include "app/UpdateStageProcedures.h"
#include "ui/DialogMessages.h"

uint32_t PendingStageThreadProc(void* dialog)
{
    if (dialog == nullptr) return 0xFFFFFFFF;
    if (g_threadManager.CheckAbort()) return 0;
    PostStageMessage(dialog, WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 0);
    return 0xFFFFFFFF;
}

uint32_t PendingInstallThreadProc(void* dialog)
{
    if (dialog == nullptr) return 0xFFFFFFFF;
    if (g_threadManager.CheckAbort()) return 0;
    // The installation ends with its done message whatever happens: during it the button
    // is disabled and the Close item grayed, so an error screen there could not be closed.
    PostStageMessage(dialog, WM_INSTALL_DONE, kInstallRunFailed, 0);
    return 0xFFFFFFFF;
}

ThreadManager::Procedure ProgramStageProcedure(Stage stage)
{
    // The pre-check and the installation come here as their procedures join the program.
    switch (stage) {
        case Stage::UpdateCheck:
            return &UpdateCheckThreadProc;
        case Stage::Download:
            return &DownloadThreadProc;
        case Stage::Verify:
            return &VerifyThreadProc;
        case Stage::Install:
            return &PendingInstallThreadProc;
        default:
            return &PendingStageThreadProc;
    }
}
