#pragma once
// The thread procedures of the stages, by stage. A stage whose own procedure is not in
// the program yet runs PendingStageThreadProc, which reports the stage as failed
// (WM_STAGE_FAILED with RC_UNKNOWN_ERROR): the dialog then shows its error screen rather
// than pretend that the stage ran.

#include <cstdint>

#include "app/ThreadManager.h"
#include "ui/MainDlgHost.h"

uint32_t PendingStageThreadProc(void* dialog);
// The installation's stand-in ends as a failed run (WM_INSTALL_DONE with the run status
// 0xFFFFFFFF), the one way the installation stage ends: the dialog then ends with
// RC_UNKNOWN_ERROR.
uint32_t PendingInstallThreadProc(void* dialog);

// The procedure that the program runs for the stage.
ThreadManager::Procedure ProgramStageProcedure(Stage stage);
