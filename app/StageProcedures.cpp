#include "app/StageProcedures.h"

#include "app/InstallThreadProc.h"
#include "app/PreCheckThreadProc.h"
#include "app/UpdateStageProcedures.h"

ThreadManager::Procedure ProgramStageProcedure(Stage stage)
{
    switch (stage) {
        case Stage::PreCheck:
            return &PreCheckThreadProc;
        case Stage::UpdateCheck:
            return &UpdateCheckThreadProc;
        case Stage::Download:
            return &DownloadThreadProc;
        case Stage::Verify:
            return &VerifyThreadProc;
        case Stage::Install:
            return &InstallThreadProc;
    }
    return nullptr;
}
