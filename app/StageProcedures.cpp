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
        default:
            return &PendingStageThreadProc;
    }
}
