#pragma once
// The thread procedures of the stages, by stage: what the program runs for each stage of
// the dialog.

#include "app/ThreadManager.h"
#include "ui/MainDlgHost.h"

ThreadManager::Procedure ProgramStageProcedure(Stage stage);
