#include "app/StageProcedures.h"

#include "ui/DialogMessages.h"

uint32_t PendingStageThreadProc(void* dialog)
{
    if (dialog == nullptr) return 0xFFFFFFFF;
    if (g_threadManager.CheckAbort()) return 0;
    PostStageMessage(dialog, WM_STAGE_FAILED, RC_UNKNOWN_ERROR, 0);
    return 0xFFFFFFFF;
}

ThreadManager::Procedure ProgramStageProcedure(Stage)
{
    // Pre-check, update check, download, verification and installation come here as
    // their procedures join the program.
    return &PendingStageThreadProc;
}
